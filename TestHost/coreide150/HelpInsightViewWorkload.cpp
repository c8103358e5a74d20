// The view-Help-Insight command in the running IDE: the command's action
// (OnUpdate and OnExecute the core package's handlers, whatever code they
// hold now) executed once per step, each step changing one of the things
// the command depends on.
//
//   -run helpinsightview
//
// Journal, per step: HELPINSIGHT-VIEW <step> enabled=<0|1> handler=<the
// host's execute handler ran 0|1> during-cursor=<c> during-monitor=<depth>
// cursor=<after> monitor=<depth after> raised=<exception text or ->.
#include <windows.h>

#include <string>

#include "Common/HostGuard.h"
#include "IdeServices/CurrentModule.h"
#include "IdeServices/ModuleServices.h"
#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "coreide150/EnvOptionsDriver.h"
#include "coreide150/ViewCommandsDriver.h"
#include "vcl150/FormsDriver.h"
#include "vcl150/ScreenCursorDriver.h"

namespace QmHost {

namespace {

struct Step {
  const wchar_t* Name;
  int Option;          // "CodeInsightHelpInsight"
  int Current;         // 0 none, 1 the module with an editor, 2 the one without
  bool Documentation;  // the module offers the documentation interface
  int Background;      // a background compile is running
  HRESULT Result;      // the documentation's method 9
  bool Allows;
  int Raise;           // the host's execute handler raises
};

const Step Steps[] = {
    {L"ready", 1, 1, true, 0, S_OK, true, 0},
    {L"option-off", 0, 1, true, 0, S_OK, true, 0},
    {L"no-module", 1, 0, true, 0, S_OK, true, 0},
    {L"no-editor", 1, 2, true, 0, S_OK, true, 0},
    {L"background-compile", 1, 1, true, 1, S_OK, true, 0},
    {L"no-documentation", 1, 1, false, 0, S_OK, true, 0},
    {L"documentation-declines", 1, 1, true, 0, S_OK, false, 0},
    {L"documentation-fails", 1, 1, true, 0, E_FAIL, true, 0},
    {L"handler-raises", 1, 1, true, 0, S_OK, true, 1},
};

int RunHelpInsightView(HostApp& app, const std::vector<std::wstring>& args) {
  if (!args.empty()) {
    app.Log(L"WORKLOAD-ERROR helpinsightview: expected no arguments");
    return 2;
  }
  HMODULE coreIde = GetModuleHandleW(L"coreide150.bpl");
  ViewCommandsDriver::Driver view;
  FormsDriver::Driver forms;
  auto buildOptions = reinterpret_cast<EnvOptionsDriver::BuildFn>(
      reinterpret_cast<void*>(coreIde ? GetProcAddress(coreIde, EnvOptionsDriver::Export::Build) : nullptr));
  if (!view.Bind(coreIde) || !view.Update || !view.Execute || !forms.Bind(GetModuleHandleW(L"vcl150.bpl")) ||
      !buildOptions) {
    app.Log(L"WORKLOAD-ERROR helpinsightview: the view commands are missing");
    return 2;
  }
  Module* withEditor = OpenModule(L"HelpInsightView1.pas", true);
  Module* withoutEditor = OpenModule(L"HelpInsightView2.pas", false);
  void* commands = view.New(ModuleServices());
  void* action = forms.NewAction(0);
  forms.ActionSetEvents(action, reinterpret_cast<void*>(view.Execute), commands,
                        reinterpret_cast<void*>(view.Update), commands);
  for (const Step& step : Steps) {
    buildOptions(step.Option);
    SetCurrentModule(step.Current == 1 ? withEditor : step.Current == 2 ? withoutEditor : nullptr);
    SetModuleHelpInsight(withEditor, {step.Documentation, step.Result, step.Allows});
    SetModuleHelpInsight(withoutEditor, {step.Documentation, step.Result, step.Allows});
    view.SetBackgroundCompile(step.Background);
    view.RaiseOnExecute(step.Raise);
    ViewCommandsDriver::TExecuteState before{}, after{};
    view.State(commands, &before);
    HostExceptionReport report;
    const bool returned = CallHostGuarded([&] { forms.ActionExecute(action); }, report, &app.rtl);
    view.State(commands, &after);
    int32_t enabled = 0, executions = 0, updates = 0;
    forms.ActionState(action, &enabled, &executions, &updates);
    ViewCommandsDriver::TMonitorState monitor{};
    view.Monitor(&monitor);
    const bool ran = after.Executions != before.Executions;
    app.Log(L"HELPINSIGHT-VIEW " + std::wstring(step.Name) + L" enabled=" + std::to_wstring(enabled) +
            L" handler=" + std::to_wstring(ran ? 1 : 0) +
            L" during-cursor=" + std::to_wstring(ran ? after.Cursor : 0) +
            L" during-monitor=" + std::to_wstring(ran ? after.MonitorDepth : 0) +
            L" cursor=" + std::to_wstring(ScreenCursorDriver::ScreenCursor()) +
            L" monitor=" + std::to_wstring(monitor.Depth) +
            L" raised=" + (returned ? std::wstring(L"-") : JournalEscape(report.Text())));
  }
  view.RaiseOnExecute(0);
  view.SetBackgroundCompile(0);
  SetCurrentModule(nullptr);
  CloseModule(withoutEditor);
  CloseModule(withEditor);
  return 0;
}

const WorkloadRegistration kRegistration{L"helpinsightview", RunHelpInsightView, L""};

}  // namespace

}  // namespace QmHost
