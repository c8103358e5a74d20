#include "Framework/ChangeDirectoryNotify.h"

#include <windows.h>

#include "Framework/PatchPlan.h"
#include "Hooking/CodeTransaction.h"
#include "Hooking/EngineError.h"
#include "Hooking/Utf8Conversion.h"

namespace Quillmend {

namespace {

const wchar_t* const Owner = L"ChangeDirectoryNotify";

using TSetCurrentDirectoryW = BOOL(WINAPI*)(LPCWSTR path);
using TSetCurrentDirectoryA = BOOL(WINAPI*)(LPCSTR path);

// One aligned pointer, read and written without a lock: a call racing a
// registration may use the old or the new notifier.
TChangeDirectoryNotifyProc volatile g_notifier = nullptr;
TSetCurrentDirectoryW g_setW = nullptr;
TSetCurrentDirectoryA g_setA = nullptr;
bool g_installed = false;

void Notify() {
  if (TChangeDirectoryNotifyProc notifier = g_notifier) notifier();
}

BOOL WINAPI SetCurrentDirectoryWHook(LPCWSTR path) {
  const BOOL result = g_setW(path);
  Notify();
  return result;
}

BOOL WINAPI SetCurrentDirectoryAHook(LPCSTR path) {
  const BOOL result = g_setA(path);
  Notify();
  return result;
}

// Both functions hooked through one transaction, all or nothing; owned by
// this name, which no registry knows (the plan is installed unregistered).
TPatchPlan NotifierPlan() {
  TPatchPlan plan(Owner, L"Change-directory notifier", TInstallMoment::UnitInit);
  TSiteRef setW = plan.Export(L"SetCurrentDirectoryW", L"kernel32.dll", "SetCurrentDirectoryW");
  TSiteRef setA = plan.Export(L"SetCurrentDirectoryA", L"kernel32.dll", "SetCurrentDirectoryA");
  plan.HookWinApi(setW, &SetCurrentDirectoryWHook, reinterpret_cast<void**>(&g_setW));
  plan.HookWinApi(setA, &SetCurrentDirectoryAHook, reinterpret_cast<void**>(&g_setA));
  return plan;
}

} // namespace

TChangeDirectoryNotifyProc QM_REGISTER RegisterChangeDirectoryNotifier(TChangeDirectoryNotifyProc proc) {
  TChangeDirectoryNotifyProc previous = g_notifier;
  g_notifier = proc;
  return previous;
}

void QM_REGISTER UnregisterChangeDirectoryNotifier(TChangeDirectoryNotifyProc proc) { g_notifier = proc; }

void InstallChangeDirectoryNotify() {
  if (g_installed) return;
  TPatchPlan plan = NotifierPlan();
  const TPlanVerdict verdict = InstallUnregisteredPlan(plan);
  if (!verdict.Applies) RaiseError("%s", ToUtf8(verdict.Reason).c_str());
  g_installed = true;
}

void RemoveChangeDirectoryNotify() {
  if (!g_installed) return;
  // Nothing is left to undo when the library's undo of every transaction ran first.
  UndoTransactionsOf(Owner);
  g_installed = false;
}

bool ChangeDirectoryNotifyInstalled() { return g_installed; }

const TUnitInfo ChangeDirectoryNotifyUnit = {"ChangeDirectoryNotify", &InstallChangeDirectoryNotify,
                                             &RemoveChangeDirectoryNotify};

} // namespace Quillmend
