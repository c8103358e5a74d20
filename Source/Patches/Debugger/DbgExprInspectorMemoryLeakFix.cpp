#include "Patches/Debugger/DbgExprInspectorMemoryLeakFix.h"

#include <windows.h>

#include "Framework/LibraryEntry.h"
#include "Patches/Debugger/DebuggerModules.h"

namespace Quillmend {

namespace {

// Interface methods: IUnknown stdcall, the rest the host's register convention.
using TCountingMethod = ULONG(__stdcall*)(void* self);
using TAddMethod = int32_t(QM_REGISTER*)(void* self, void* item);
using TNotification = void(QM_REGISTER*)(void* self, void* subject);

constexpr int ListAddSlot = 3;                // the list's fourth method
constexpr int FirstProcessNotificationSlot = 7;  // ThreadCreated .. ProcessModuleDestroyed: 7..10

volatile LONG g_liveNotifiers = 0;

void* const* MethodTable(void* intf) { return *static_cast<void* const* const*>(intf); }

// TDebuggerExpressionInspectorProcessNotifier: the object is its interface
// (the method table first).
struct TProcessNotifier {
  void* const* Vmt;
  volatile LONG RefCount;
  void* Inspector;  // the inspector's process-notifier interface, not counted
};

ULONG __stdcall NotifierAddRef(void* self) {
  return ULONG(InterlockedIncrement(&static_cast<TProcessNotifier*>(self)->RefCount));
}

ULONG __stdcall NotifierRelease(void* self) {
  auto* notifier = static_cast<TProcessNotifier*>(self);
  const LONG count = InterlockedDecrement(&notifier->RefCount);
  if (count == 0) {
    delete notifier;
    InterlockedDecrement(&g_liveNotifiers);
  }
  return ULONG(count);
}

HRESULT __stdcall NotifierQueryInterface(void* self, const GUID* iid, void** out) {
  static const GUID Unknown = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  if (iid && IsEqualGUID(*iid, Unknown)) {
    NotifierAddRef(self);
    *out = self;
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

// AfterSave, BeforeSave, Destroyed, Modified: nothing to do.
void QM_REGISTER NotifierNothing(void*) {}

template <int Slot>
void QM_REGISTER Forward(void* self, void* subject) {
  void* inspector = static_cast<TProcessNotifier*>(self)->Inspector;
  if (inspector) reinterpret_cast<TNotification>(MethodTable(inspector)[Slot])(inspector, subject);
}

void* const NotifierMethods[] = {
    reinterpret_cast<void*>(&NotifierQueryInterface),
    reinterpret_cast<void*>(&NotifierAddRef),
    reinterpret_cast<void*>(&NotifierRelease),
    reinterpret_cast<void*>(&NotifierNothing),
    reinterpret_cast<void*>(&NotifierNothing),
    reinterpret_cast<void*>(&NotifierNothing),
    reinterpret_cast<void*>(&NotifierNothing),
    reinterpret_cast<void*>(&Forward<FirstProcessNotificationSlot>),
    reinterpret_cast<void*>(&Forward<FirstProcessNotificationSlot + 1>),
    reinterpret_cast<void*>(&Forward<FirstProcessNotificationSlot + 2>),
    reinterpret_cast<void*>(&Forward<FirstProcessNotificationSlot + 3>),
};

struct TInspectorRoutine {
  const wchar_t* Label;
  const char* Export;
  int32_t Window;
};

const TInspectorRoutine InspectorRoutines[] = {
    {L"InspectorCreate",
     "@Dbkinspector@TDebuggerExpressionInspector@$bctr$qqrx43System@%DelphiInterface$t15Dbk@IDbkInspect%39Debugapi@"
     "TExpressionInspectorMemberTypeix47System@%DelphiInterface$t19Toolsapi@IOTAThread%r27Toolsapi@"
     "TOTAEvaluateResultooo",
     256},
    {L"InspectorCreateForThread",
     "@Dbkinspector@TDebuggerExpressionInspector@$bctr$qqrx43System@%DelphiInterface$t15Dbk@IDbkInspect%x47System@%"
     "DelphiInterface$t19Toolsapi@IOTAThread%ooo",
     512},
    {L"SetupDBKInspector", "@Dbkinspector@TDebuggerExpressionInspector@SetupDBKInspector$qqr20System@UnicodeStringt1i",
     256},
};

TPatchPlan DbgExprInspectorMemoryLeakFixPlan() {
  TPatchPlan plan(L"IDE.Debugger.WatchLocalMemoryLeak", L"Fix memory leak in Watch/Local list",
                  TInstallMoment::WizardInit);
  std::vector<TSiteRef> sites;
  for (const TInspectorRoutine& routine : InspectorRoutines) {
    TSiteRef entry = plan.Export(routine.Label, DebuggerProIdePackage, routine.Export);
    sites.push_back(plan.PatternFrom(routine.Label, entry, 0, InspectorAddsItselfPattern, routine.Window));
  }
  plan.Expect(L"the notifier registrations are not at three different addresses", [sites](const TPlanValues& v) {
    return v.Site(sites[0]) != v.Site(sites[1]) && v.Site(sites[0]) != v.Site(sites[2]) &&
           v.Site(sites[1]) != v.Site(sites[2]);
  });
  for (TSiteRef site : sites) plan.WriteCall(site, NotifierAddCallOffset, &AddInspectorNotifier);
  // Lists still hold our notifiers: the calls stay, the library stays mapped.
  plan.KeepInPlaceWhile([] { return g_liveNotifiers > 0; });
  return plan;
}

void InitializeDbgExprInspectorMemoryLeakFix() { AddWizardInitProc(&InstallDbgExprInspectorMemoryLeakFix); }

}  // namespace

int32_t QM_REGISTER AddInspectorNotifier(void* list, void* inspector) {
  auto* notifier = new TProcessNotifier{NotifierMethods, 0, inspector};
  InterlockedIncrement(&g_liveNotifiers);
  return reinterpret_cast<TAddMethod>(MethodTable(list)[ListAddSlot])(list, notifier);
}

int32_t LiveInspectorNotifiers() { return g_liveNotifiers; }

std::vector<TPatchPlan> DbgExprInspectorMemoryLeakFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(DbgExprInspectorMemoryLeakFixPlan());
  return plans;
}

void InstallDbgExprInspectorMemoryLeakFix() {
  TPatchPlan plan = DbgExprInspectorMemoryLeakFixPlan();
  InstallPlan(plan);
}

const TUnitInfo Unit_DbgExprInspectorMemoryLeakFix = {"DbgExprInspectorMemoryLeakFix",
                                                      &InitializeDbgExprInspectorMemoryLeakFix, nullptr,
                                                      &DbgExprInspectorMemoryLeakFixPlans};

}  // namespace Quillmend
