// The IDE's view commands for Help Insight and the code-insight compile
// state they consult. The host's update handler enables the action whenever
// the module services report a current module; the execute handler shows
// Help Insight (here: records the screen cursor and the kibitzing monitor
// it ran under, and raises on request). GetBackgroundCompileActive answers
// what the driver set; TKibitzingMonitor.Start and Finish open and close
// monitored sections and keep a record of them.
#include <windows.h>

#include <type_traits>

#include "Common/HostRtl.h"
#include "ViewCommandsDriver.h"
#include "vcl150/FormsDriver.h"
#include "vcl150/ScreenCursorDriver.h"

namespace D = ViewCommandsDriver;

extern "C" {
void QM_HOST_REGISTER CoreIdeViewHelpInsightUpdate(void* self, void* sender)
    QM_HOST_SYMBOL(coreide_ViewHelpInsightUpdateBody);
void QM_HOST_REGISTER CoreIdeViewHelpInsightExecute(void* self, void* sender)
    QM_HOST_SYMBOL(coreide_ViewHelpInsightExecuteBody);
bool QM_HOST_REGISTER CoreIdeGetBackgroundCompileActive() QM_HOST_SYMBOL(coreide_GetBackgroundCompileActive);
void QM_HOST_REGISTER CoreIdeCominoutMonitorStart(uint32_t kinds) QM_HOST_SYMBOL(coreide_CominoutMonitorStart);
void QM_HOST_REGISTER CoreIdeCominoutMonitorFinish() QM_HOST_SYMBOL(coreide_CominoutMonitorFinish);
}

namespace {

// Our layout: {class reference (nil), the module services, the record}.
struct TViewCommands {
  void* ClassRef = nullptr;
  void* ModuleServices = nullptr;
  D::TExecuteState State{};
};

constexpr int CurrentModuleSlot = 6;  // IOTAModuleServices.CurrentModule (EAX = Self, EDX = @Result)

volatile LONG g_raiseOnExecute = 0;
volatile LONG g_backgroundCompile = 0;
D::TMonitorState g_monitor{};

using TSetEnabled = void(QM_HOST_REGISTER*)(void* action, uint32_t value);
using TCurrentModule = void(QM_HOST_REGISTER*)(void* self, void** result);

template <class T>
T Bind(const wchar_t* module, const char* name) {
  HMODULE handle = GetModuleHandleW(module);
  return reinterpret_cast<T>(reinterpret_cast<void*>(handle ? GetProcAddress(handle, name) : nullptr));
}

void Release(void* intf) {
  reinterpret_cast<ULONG(__stdcall*)(void*)>((*static_cast<void* const* const*>(intf))[2])(intf);
}

bool ModuleOpen(void* moduleServices) {
  if (!moduleServices) return false;
  void* module = nullptr;
  reinterpret_cast<TCurrentModule>((*static_cast<void* const* const*>(moduleServices))[CurrentModuleSlot])(
      moduleServices, &module);
  if (!module) return false;
  Release(module);
  return true;
}

}  // namespace

extern "C" {

void QM_HOST_REGISTER CoreIdeViewHelpInsightUpdate(void* self, void* sender) {
  auto* commands = static_cast<TViewCommands*>(self);
  ++commands->State.Updates;
  if (auto setEnabled = Bind<TSetEnabled>(L"vcl150.bpl", FormsDriver::Export::ActionSetEnabled))
    setEnabled(sender, ModuleOpen(commands->ModuleServices) ? 1 : 0);
}

void QM_HOST_REGISTER CoreIdeViewHelpInsightExecute(void* self, void*) {
  auto* commands = static_cast<TViewCommands*>(self);
  ++commands->State.Executions;
  commands->State.Cursor = ScreenCursorDriver::ScreenCursor();
  commands->State.MonitorDepth = g_monitor.Depth;
  commands->State.MonitorKinds = g_monitor.Depth ? g_monitor.LastKinds : 0;
  if (g_raiseOnExecute > 0) {
    InterlockedDecrement(&g_raiseOnExecute);
    const QmHost::HostRtl* rtl = QmHost::LoadedHostRtl();
    rtl->raiseExcept(rtl->NewException(L"Help Insight view failed"));
  }
}

bool QM_HOST_REGISTER CoreIdeGetBackgroundCompileActive() { return g_backgroundCompile != 0; }

void QM_HOST_REGISTER CoreIdeCominoutMonitorStart(uint32_t kinds) {
  if (g_monitor.Depth++ == 0) g_monitor.LastKinds = int32_t(kinds & 0xFF);
  ++g_monitor.Starts;
}

void QM_HOST_REGISTER CoreIdeCominoutMonitorFinish() {
  if (g_monitor.Depth > 0) --g_monitor.Depth;
  ++g_monitor.Finishes;
}

// ---- driver (ViewCommandsDriver.h) ------------------------------------------------

void* __stdcall ViewCommandsNew(void* moduleServices) {
  auto* commands = new TViewCommands();
  commands->ModuleServices = moduleServices;
  return commands;
}

void __stdcall ViewCommandsState(void* commands, D::TExecuteState* state) {
  *state = static_cast<TViewCommands*>(commands)->State;
}

void __stdcall ViewCommandsRaiseOnExecute(int32_t count) { InterlockedExchange(&g_raiseOnExecute, count); }

void __stdcall CominoutSetBackgroundCompile(int32_t active) { InterlockedExchange(&g_backgroundCompile, active); }

void __stdcall CominoutMonitor(D::TMonitorState* state) { *state = g_monitor; }

}  // extern "C"

static_assert(std::is_same_v<decltype(&CoreIdeGetBackgroundCompileActive), D::BackgroundCompileActiveFn> &&
                  std::is_same_v<decltype(&ViewCommandsNew), D::NewFn> &&
                  std::is_same_v<decltype(&ViewCommandsState), D::StateFn> &&
                  std::is_same_v<decltype(&ViewCommandsRaiseOnExecute), D::RaiseOnExecuteFn> &&
                  std::is_same_v<decltype(&CominoutSetBackgroundCompile), D::SetBackgroundCompileFn> &&
                  std::is_same_v<decltype(&CominoutMonitor), D::MonitorFn>,
              "exports differ from ViewCommandsDriver.h");
