#include "Patches/Debugger/DebuggerLogView.h"

#include <windows.h>

#include "Hooking/CodeTransaction.h"
#include "Hooking/MethodTables.h"

namespace Quillmend {

namespace {

const wchar_t* const PatchName = L"Debugger.LogViewSpeed";

using TNotify = void(QM_REGISTER*)(void* data, void* sender);
using TGetCount = int32_t(QM_REGISTER*)(void* self);

void* g_method = nullptr;       // LogStringListChanged
void* g_stringListClass = nullptr;
void* g_list = nullptr;         // the event log taken over
TNotify g_previousCode = nullptr;
void* g_previousData = nullptr;
bool g_pending = false;
UINT_PTR g_timer = 0;
bool g_passThrough = false;     // after finalization
bool g_pinned = false;

template <class T>
T& Field(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

bool InheritsFrom(void* object, void* classRef) {
  for (void* c = *static_cast<void**>(object); c; ) {
    if (c == classRef) return true;
    void* const* parent = *reinterpret_cast<void* const* const*>(static_cast<char*>(c) + HostClassLayout::Parent);
    c = parent ? *parent : nullptr;
  }
  return false;
}

int32_t LineCount(void* list) {
  const char* classRef = *static_cast<const char* const*>(list);
  return reinterpret_cast<TGetCount>(*reinterpret_cast<void* const*>(classRef + StringListLayout::GetCount))(list);
}

void PassOn(void* sender) {
  if (g_previousCode) g_previousCode(g_previousData, sender);
}

void StopTimer() {
  if (g_timer) KillTimer(nullptr, g_timer);
  g_timer = 0;
}

void CALLBACK RefreshTick(HWND, UINT, UINT_PTR, DWORD) {
  StopTimer();
  if (!g_pending) return;
  g_pending = false;
  PassOn(g_list);
}

// Enabling the timer while it runs leaves it running: a stream of changes
// refreshes every interval, not only after it ends.
void StartTimer() {
  if (!g_timer) g_timer = SetTimer(nullptr, 0, LogViewRefreshInterval, &RefreshTick);
}

// The list calls into this library from now on: one more reference keeps
// it mapped for the rest of the process.
void PinLibrary() {
  if (g_pinned) return;
  HMODULE self = nullptr;
  g_pinned = GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&PinLibrary), &self);
}

// The capture again, for the next notification.
void RedirectAgain() {
  TCodeTransaction transaction(PatchName);
  if (transaction.StageRedirect(g_method, reinterpret_cast<const void*>(&LogListChangedCapture), L"LogStringListChanged"))
    transaction.Commit();
}

TPatchPlan LogViewPlan() {
  TPatchPlan plan(PatchName, L"Improved LogView speed", TInstallMoment::UnitInit);
  TSiteRef method = plan.Export(L"LogStringListChanged", L"coreide150.bpl",
                                "@Debuggermgr@TDebuggerMgr@LogStringListChanged$qqrp14System@TObject");
  TSiteRef stringList = plan.Export(L"TStringList", L"rtl150.bpl", "@Classes@TStringList@");
  plan.Redirect(method, &LogListChangedCapture);
  plan.OnCommit([=](const TPlanValues& v) {
    g_method = v.Site(method);
    g_stringListClass = v.Site(stringList);
  });
  return plan;
}

void FinalizeDebuggerLogView() {
  // The handler may stay in the list: from now on it passes every change on.
  g_passThrough = true;
  StopTimer();
  g_pending = false;
}

}  // namespace

void QM_REGISTER LogListChangedCapture(void* debuggerManager, void* sender) {
  UndoTransactionsOf(PatchName);  // the method is itself again
  if (sender && g_stringListClass && InheritsFrom(sender, g_stringListClass)) {
    g_list = sender;
    g_previousCode = Field<TNotify>(sender, StringListLayout::OnChangeCode);
    g_previousData = Field<void*>(sender, StringListLayout::OnChangeData);
    PinLibrary();
    Field<TNotify>(sender, StringListLayout::OnChangeCode) = &ThrottledLogListChanged;
    Field<void*>(sender, StringListLayout::OnChangeData) = nullptr;
    ThrottledLogListChanged(nullptr, sender);
    return;
  }
  // Another sender: this notification goes where it was going, and the
  // capture waits for the next one.
  reinterpret_cast<TNotify>(g_method)(debuggerManager, sender);
  RedirectAgain();
}

void QM_REGISTER ThrottledLogListChanged(void*, void* sender) {
  if (g_passThrough) return PassOn(sender);
  if (LineCount(sender) > 0) {
    StartTimer();
    g_pending = true;
    return;
  }
  // Cleared: at once.
  StopTimer();
  g_pending = false;
  PassOn(sender);
}

void* ThrottledLogList() { return g_list; }

bool LogViewRefreshPending() { return g_pending; }

std::vector<TPatchPlan> DebuggerLogViewPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(LogViewPlan());
  return plans;
}

void InstallDebuggerLogView() {
  g_passThrough = false;
  TPatchPlan plan = LogViewPlan();
  InstallPlan(plan);
}

const TUnitInfo Unit_DebuggerLogView = {"DebuggerLogView", &InstallDebuggerLogView, &FinalizeDebuggerLogView,
                                        &DebuggerLogViewPlans};

}  // namespace Quillmend
