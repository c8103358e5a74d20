// "IDE.HelpInsightViewCmd" in the test process against the stand-in core
// package's view commands, the component library's action and screen, the
// environment options and the IDE's module services: enabled only under
// its five conditions (each one failing alone disables it), executed under
// the hourglass and the kibitzing monitor only when the module's
// documentation allows it, and the cursor and monitor put back whatever the
// documentation or the host's handler does.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Common/HostGuard.h"
#include "Common/HostRtl.h"
#include "Framework/LibraryEntry.h"
#include "Framework/PatchRegistry.h"
#include "IdeServices/CurrentModule.h"
#include "IdeServices/ServicesRoot.h"
#include "Patches/IdeCorrections/HelpInsightViewCommand.h"
#include "TestPaths.h"
#include "ThreeWayHarness.h"
#include "coreide150/EnvOptionsDriver.h"
#include "coreide150/ViewCommandsDriver.h"
#include "vcl150/FormsDriver.h"
#include "vcl150/ScreenCursorDriver.h"

namespace {

const wchar_t* const ViewCmd = L"IDE.HelpInsightViewCmd";
const std::vector<std::wstring> Modules = {L"rtl150.bpl", L"vcl150.bpl", L"vclide150.bpl", L"designide150.bpl",
                                           L"coreide150.bpl"};

ViewCommandsDriver::Driver g_view;
FormsDriver::Driver g_forms;
EnvOptionsDriver::BuildFn g_buildOptions = nullptr;

void Bind() {
  HMODULE coreIde = GetModuleHandleW(L"coreide150.bpl");
  ASSERT_TRUE(g_view.Bind(coreIde));
  ASSERT_TRUE(g_forms.Bind(GetModuleHandleW(L"vcl150.bpl")));
  g_buildOptions = reinterpret_cast<EnvOptionsDriver::BuildFn>(
      reinterpret_cast<void*>(GetProcAddress(coreIde, EnvOptionsDriver::Export::Build)));
  ASSERT_NE(g_buildOptions, nullptr);
  Quillmend::BorlandIDEServices = QmHost::ServicesRoot();
}

HMODULE LoadHost(const std::wstring& file) { return LoadLibraryW((BuildDirectory() + L"\\host\\" + file).c_str()); }

void LoadStandIns() {
  for (const std::wstring& file : Modules) ASSERT_NE(LoadHost(file), nullptr) << std::string(file.begin(), file.end());
  Bind();
}

void Install(const std::wstring& disabled = L"") {
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", disabled.c_str());
  Quillmend::InstallHelpInsightViewCommand();
}

std::wstring Status() {
  for (const Quillmend::TPatchReport& r : Quillmend::PatchReports())
    if (r.Name == ViewCmd)
      return r.Status == Quillmend::psApplied ? L"applied" : r.Status == Quillmend::psIgnored ? L"ignored" : L"failed";
  return L"";
}

// The IDE's state the command looks at.
struct TState {
  int Option = 1;           // "CodeInsightHelpInsight" (-1: no environment options at all)
  int Current = 1;          // 0 none, 1 a module with an editor, 2 one without
  bool Documentation = true;
  int Background = 0;
  HRESULT Result = S_OK;    // the documentation's method 9
  bool Allows = true;
  int Raise = 0;            // the host's execute handler raises
};

// One run of the command's action: Update, then Execute while enabled.
struct TOutcome {
  int Enabled = 0;
  int Handler = 0;          // the host's execute handler ran
  int DuringCursor = 0, DuringMonitor = 0, DuringKinds = 0;
  int Cursor = 0, CursorSets = 0;
  ViewCommandsDriver::TMonitorState Monitor{};
  std::wstring Raised;      // "<class>: <message>", empty when it returned
};

class TIde {
public:
  TIde() {
    FWithEditor = QmHost::OpenModule(L"ViewTest1.pas", true);
    FWithoutEditor = QmHost::OpenModule(L"ViewTest2.pas", false);
    FCommands = g_view.New(QmHost::ModuleServices());
    FAction = g_forms.NewAction(0);
    g_forms.ActionSetEvents(FAction, reinterpret_cast<void*>(g_view.Execute), FCommands,
                            reinterpret_cast<void*>(g_view.Update), FCommands);
  }
  ~TIde() {
    g_view.RaiseOnExecute(0);
    g_view.SetBackgroundCompile(0);
    QmHost::SetCurrentModule(nullptr);
    QmHost::CloseAllModules();
  }

  TOutcome Run(const TState& state) {
    if (state.Option >= 0) g_buildOptions(state.Option);
    QmHost::SetCurrentModule(state.Current == 1 ? FWithEditor : state.Current == 2 ? FWithoutEditor : nullptr);
    for (QmHost::Module* m : {FWithEditor, FWithoutEditor})
      QmHost::SetModuleHelpInsight(m, {state.Documentation, state.Result, state.Allows});
    g_view.SetBackgroundCompile(state.Background);
    g_view.RaiseOnExecute(state.Raise);
    ViewCommandsDriver::TExecuteState before{}, after{};
    g_view.State(FCommands, &before);
    int32_t setsBefore = 0;
    ScreenCursorDriver::ScreenCursor(&setsBefore);
    ViewCommandsDriver::TMonitorState monitorBefore{};
    g_view.Monitor(&monitorBefore);

    TOutcome out;
    QmHost::HostExceptionReport report;
    if (!QmHost::CallHostGuarded([&] { g_forms.ActionExecute(FAction); }, report, QmHost::LoadedHostRtl()))
      out.Raised = report.Text();
    g_view.State(FCommands, &after);
    int32_t executions = 0, updates = 0, enabled = 0;
    g_forms.ActionState(FAction, &enabled, &executions, &updates);
    out.Enabled = enabled;
    out.Handler = after.Executions - before.Executions;
    if (out.Handler) {
      out.DuringCursor = after.Cursor;
      out.DuringMonitor = after.MonitorDepth;
      out.DuringKinds = after.MonitorKinds;
    }
    int32_t sets = 0;
    out.Cursor = ScreenCursorDriver::ScreenCursor(&sets);
    out.CursorSets = sets - setsBefore;
    g_view.Monitor(&out.Monitor);
    out.Monitor.Starts -= monitorBefore.Starts;
    out.Monitor.Finishes -= monitorBefore.Finishes;
    return out;
  }

private:
  QmHost::Module* FWithEditor;
  QmHost::Module* FWithoutEditor;
  void* FCommands;
  void* FAction;
};

// ---- three ways -----------------------------------------------------------------

// States where the host's command and the pack's agree: all conditions met
// (enabled, run) and no module (disabled).
std::string ExerciseViewCommand() {
  if (!g_view.Update || !g_view.Execute) return "no view commands";  // a host without them
  TIde ide;
  std::string out;
  for (const TState& state : {TState{}, TState{1, 0}}) {
    const TOutcome o = ide.Run(state);
    out += "enabled=" + std::to_string(o.Enabled) + " handler=" + std::to_string(o.Handler) + "; ";
  }
  return out;
}

const std::vector<TPatchRow> PatchRows = {{ViewCmd, {}}};
const std::vector<TVariantRow> VariantRows = {
    {"noviewhelpinsightexecute", {ViewCmd}},
    {"nobackgroundcompileactive", {ViewCmd}},
};

const TThreeWaySubsystem& ViewCommandSubsystem() {
  static const TThreeWaySubsystem subsystem{
      Modules,
      [] {
        g_view.Bind(GetModuleHandleW(L"coreide150.bpl"));
        g_forms.Bind(GetModuleHandleW(L"vcl150.bpl"));
        g_buildOptions = reinterpret_cast<EnvOptionsDriver::BuildFn>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"coreide150.bpl"), EnvOptionsDriver::Export::Build)));
        Quillmend::BorlandIDEServices = QmHost::ServicesRoot();
      },
      [] { Quillmend::InstallHelpInsightViewCommand(); },
      [] { return ExerciseViewCommand(); },
      {ViewCmd},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(HelpInsightViewCommand, ViewCommandSubsystem(), PatchRows, VariantRows)

}  // namespace

// ---- behaviour ------------------------------------------------------------------

// Each condition failing alone disables the command; the host's own update
// only asks for a current module.
TEST(HelpInsightViewCommand, EnabledOnlyUnderAllFiveConditions) {
  LoadStandIns();
  TIde ide;
  const struct {
    const char* Case;
    TState State;
    int Host, Patched;
  } rows[] = {
      {"all met", {}, 1, 1},
      {"option off", {0}, 1, 0},
      {"no current module", {1, 0}, 0, 0},
      {"module without an editor", {1, 2}, 1, 0},
      {"background compile", {1, 1, true, 1}, 1, 0},
      {"no documentation interface", {1, 1, false}, 1, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Case);
    EXPECT_EQ(ide.Run(row.State).Enabled, row.Host);
  }
  Install();
  ASSERT_EQ(Status(), L"applied");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Case);
    const TOutcome o = ide.Run(row.State);
    EXPECT_EQ(o.Enabled, row.Patched);
    EXPECT_EQ(o.Handler, row.Patched);
    EXPECT_EQ(o.Raised, L"");
  }
}

// An idle update must not raise: without the environment options the
// command is simply disabled.
TEST(HelpInsightViewCommand, MissingEnvironmentOptionsDisableWithoutRaising) {
  LoadStandIns();
  Install();
  ASSERT_EQ(Status(), L"applied");
  TIde ide;
  TState state;
  state.Option = -1;  // the options object never built
  const TOutcome o = ide.Run(state);
  EXPECT_EQ(o.Enabled, 0);
  EXPECT_EQ(o.Raised, L"");
}

// The execute: hourglass and monitor (kind {1}) around the host's handler,
// only when method 9 allows it; cursor and monitor put back in every case,
// the failures passed on to the caller.
TEST(HelpInsightViewCommand, ExecuteRunsUnderHourglassAndMonitorAndPutsThemBack) {
  LoadStandIns();
  Install();
  ASSERT_EQ(Status(), L"applied");
  TIde ide;
  const struct {
    const char* Case;
    TState State;
    int Handler;
    std::wstring Raised;
  } rows[] = {
      {"allowed", {}, 1, L""},
      {"declined", {1, 1, true, 0, S_OK, false}, 0, L""},
      {"documentation fails", {1, 1, true, 0, E_FAIL}, 0,
       L"Exception: Quillmend: HelpInsight is not available (HRESULT 0x80004005)"},
      {"documentation's success code", {1, 1, true, 0, S_FALSE}, 1, L""},
      {"handler raises", {1, 1, true, 0, S_OK, true, 1}, 1, L"Exception: Help Insight view failed"},
  };
  const int queriesBefore = QmHost::HelpInsightQueries();
  int runs = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Case);
    const TOutcome o = ide.Run(row.State);
    ++runs;
    EXPECT_EQ(o.Enabled, 1);
    EXPECT_EQ(o.Handler, row.Handler);
    if (row.Handler) {
      EXPECT_EQ(o.DuringCursor, ScreenCursorDriver::crHourGlass);
      EXPECT_EQ(o.DuringMonitor, 1);
      EXPECT_EQ(o.DuringKinds, 2);
    }
    EXPECT_EQ(o.Raised, row.Raised);
    EXPECT_EQ(o.Cursor, ScreenCursorDriver::crDefault);
    EXPECT_EQ(o.CursorSets, 2);  // the hourglass, then the default
    EXPECT_EQ(o.Monitor.Depth, 0);
    EXPECT_EQ(o.Monitor.Starts, 1);
    EXPECT_EQ(o.Monitor.Finishes, 1);
  }
  EXPECT_EQ(QmHost::HelpInsightQueries() - queriesBefore, runs);  // method 9 once per execute
  EXPECT_EQ(QmHost::HelpInsightObjects(), 0);                     // every documentation reference released
}

// Disabled, the host's command runs as it is: no cursor, no monitor.
TEST(HelpInsightViewCommand, DisabledLeavesTheHostsCommand) {
  LoadStandIns();
  Install(ViewCmd);
  EXPECT_EQ(Status(), L"");
  TIde ide;
  TState state;
  state.Option = 0;
  state.Raise = 1;
  const TOutcome o = ide.Run(state);
  EXPECT_EQ(o.Enabled, 1);
  EXPECT_EQ(o.Handler, 1);
  EXPECT_EQ(o.DuringCursor, 0);
  EXPECT_EQ(o.DuringMonitor, 0);
  EXPECT_EQ(o.CursorSets, 0);
  EXPECT_EQ(o.Monitor.Starts, 0);
  EXPECT_EQ(o.Raised, L"Exception: Help Insight view failed");
}

// A dry run over a build lacking one of the command's exports says which.
TEST(HelpInsightViewCommand, AMissingExportIsNamedInTheReason) {
  const struct {
    const char* Variant;
    const wchar_t* Reason;
  } rows[] = {
      {"noviewhelpinsightexecute", L"TViewCommands.actnViewHelpInsightExecute: export not found in coreide150.bpl"},
      {"nobackgroundcompileactive", L"GetBackgroundCompileActive: export not found in coreide150.bpl"},
  };
  for (const std::wstring& file : Modules) {
    if (file != L"coreide150.bpl") {
      ASSERT_NE(LoadHost(file), nullptr);
    }
  }
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Variant);
    const std::string variant = row.Variant;
    HMODULE coreIde = LoadLibraryW((BuildDirectory() + L"\\host-variants\\" +
                                    std::wstring(variant.begin(), variant.end()) + L"\\coreide150.bpl")
                                       .c_str());
    ASSERT_NE(coreIde, nullptr);
    std::vector<Quillmend::TPatchPlan> plans = Quillmend::HelpInsightViewCommandPlans();
    ASSERT_EQ(plans.size(), 1u);
    const Quillmend::TPlanVerdict verdict = Quillmend::DryRunPlan(plans[0]);
    EXPECT_FALSE(verdict.Applies);
    EXPECT_EQ(verdict.Reason, row.Reason);
    FreeLibrary(coreIde);
  }
}
