#include "Framework/ChangeDirectoryNotify.h"

#include <windows.h>

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

void* Kernel32Export(const char* name) {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  return kernel ? reinterpret_cast<void*>(GetProcAddress(kernel, name)) : nullptr;
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
  TCodeTransaction transaction(Owner);
  void* setW = Kernel32Export("SetCurrentDirectoryW");
  void* setA = Kernel32Export("SetCurrentDirectoryA");
  bool staged = setW && setA &&
                transaction.StageWinApiHook(setW, reinterpret_cast<const void*>(&SetCurrentDirectoryWHook),
                                            reinterpret_cast<void**>(&g_setW), L"SetCurrentDirectoryW") &&
                transaction.StageWinApiHook(setA, reinterpret_cast<const void*>(&SetCurrentDirectoryAHook),
                                            reinterpret_cast<void**>(&g_setA), L"SetCurrentDirectoryA");
  if (!staged || !transaction.Commit()) {
    const std::wstring reason = transaction.Reason().empty() ? L"kernel32.dll: SetCurrentDirectory not found"
                                                             : transaction.Reason();
    RaiseError("%s", ToUtf8(reason).c_str());
  }
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
