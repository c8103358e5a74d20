#include "Patches/EditorParser/ElisionDestroyedLockFix.h"

#include <windows.h>

#include "Framework/HostFinally.h"
#include "Framework/LibraryEntry.h"
#include "Patches/EditorParser/EditorParserHost.h"

namespace Quillmend {

using namespace EditorParserHost;

TNotifyDestroyed OrgNotifyDestroyed = nullptr;

namespace {

void* const* g_parseThread = nullptr;
TParseThreadMethod g_cancelAndLock = nullptr;
TParseThreadMethod g_unlock = nullptr;
// The IDE's main thread: the expert entry, which installs the patch, runs on it.
DWORD g_mainThread = 0;

} // namespace

void QM_REGISTER NotifyDestroyedReplacement(void* module, void* intf, void* other) {
  void* thread = GetCurrentThreadId() == g_mainThread ? *g_parseThread : nullptr;
  if (!thread) {
    OrgNotifyDestroyed(module, intf, other);
    return;
  }
  g_cancelAndLock(thread);
  HostTryFinally([&] { OrgNotifyDestroyed(module, intf, other); }, [&]() noexcept { g_unlock(thread); });
}

TPatchPlan ElisionLockPlan() {
  TPatchPlan plan(L"IDE.Parser.ElisionLock", L"Cancels the background parser when closing a module");
  TSiteRef notify = plan.Export(L"TCodeIDocModule.NotifyDestroyed", CoreIde, Export::NotifyDestroyed);
  TSiteRef variable = plan.Export(L"ParseThread", CoreIde, Export::ParseThread);
  TSiteRef cancelAndLock = plan.Export(L"TParseThread.CancelAndLock", CoreIde, Export::CancelAndLock);
  TSiteRef unlock = plan.Export(L"TParseThread.Unlock", CoreIde, Export::Unlock);
  plan.RedirectOrgCall(notify, &NotifyDestroyedReplacement, reinterpret_cast<void**>(&OrgNotifyDestroyed));
  plan.OnCommit([=](const TPlanValues& v) {
    g_parseThread = reinterpret_cast<void* const*>(v.Site(variable));
    g_cancelAndLock = reinterpret_cast<TParseThreadMethod>(v.Site(cancelAndLock));
    g_unlock = reinterpret_cast<TParseThreadMethod>(v.Site(unlock));
    g_mainThread = GetCurrentThreadId();
  });
  return plan;
}

void InstallElisionDestroyedLockFix() {
  TPatchPlan plan = ElisionLockPlan();
  InstallPlan(plan);
}

namespace {

void InitializeElisionDestroyedLockFix() { AddWizardInitProc(&InstallElisionDestroyedLockFix); }

std::vector<TPatchPlan> ElisionDestroyedLockFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(ElisionLockPlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_ElisionDestroyedLockFix = {"ElisionDestroyedLockFix", &InitializeElisionDestroyedLockFix, nullptr,
                                                &ElisionDestroyedLockFixPlans};

} // namespace Quillmend
