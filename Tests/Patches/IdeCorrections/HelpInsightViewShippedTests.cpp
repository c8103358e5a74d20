// "IDE.HelpInsightViewCmd" in the stand-in IDE, through bds.exe's
// helpinsightview workload: the command's action run once per step with
// the pack enabled and disabled.
#include "Tests/Support/IdeRun.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::wstring> ViewSteps(const std::wstring& name, const std::wstring& disabled) {
  TIdeSetup setup;
  setup.Name = name;
  setup.Suite = L"IdeCorrections";
  setup.Library = BuildDirectory() + L"\\out\\Quillmend.dll";
  setup.Environment = {{L"Quillmend.DisabledPatches", disabled}};
  setup.Arguments = {L"-run", L"helpinsightview"};
  TIdeRun run = RunIde(setup);
  EXPECT_EQ(run.ExitCode, 0u);
  EXPECT_TRUE(run.Saw(L"SHUTDOWN"));
  EXPECT_TRUE(run.Lines(L"PATCH-FAILED ").empty());
  bool listed = false;
  for (const std::wstring& added : run.Lines(L"ABOUT-ADD "))
    listed |= added.find(L"applied: HelpInsight View Command [IDE.HelpInsightViewCmd]") != std::wstring::npos;
  EXPECT_EQ(listed, disabled.empty());
  return run.Lines(L"HELPINSIGHT-VIEW ");
}

}  // namespace

// Enabled only under all five conditions; run under the hourglass and the
// monitor when the module's documentation allows it; both put back when the
// host's handler or the documentation fails. The host's command: enabled
// whenever a module is current, run as it is.
TEST(HelpInsightViewShipped, TheCommandFollowsItsConditionsAndPutsTheCursorBack) {
  const std::wstring quiet = L" during-cursor=0 during-monitor=0 cursor=0 monitor=0 raised=-";
  const std::wstring busy = L" during-cursor=-11 during-monitor=1 cursor=0 monitor=0 raised=";
  const std::vector<std::wstring> patched = {
      L"ready enabled=1 handler=1" + busy + L"-",
      L"option-off enabled=0 handler=0" + quiet,
      L"no-module enabled=0 handler=0" + quiet,
      L"no-editor enabled=0 handler=0" + quiet,
      L"background-compile enabled=0 handler=0" + quiet,
      L"no-documentation enabled=0 handler=0" + quiet,
      L"documentation-declines enabled=1 handler=0" + quiet,
      L"documentation-fails enabled=1 handler=0 during-cursor=0 during-monitor=0 cursor=0 monitor=0 "
      L"raised=Exception: Quillmend: HelpInsight is not available (HRESULT 0x80004005)",
      L"handler-raises enabled=1 handler=1" + busy + L"Exception: Help Insight view failed",
  };
  const std::vector<std::wstring> host = {
      L"ready enabled=1 handler=1" + quiet,
      L"option-off enabled=1 handler=1" + quiet,
      L"no-module enabled=0 handler=0" + quiet,
      L"no-editor enabled=1 handler=1" + quiet,
      L"background-compile enabled=1 handler=1" + quiet,
      L"no-documentation enabled=1 handler=1" + quiet,
      L"documentation-declines enabled=1 handler=1" + quiet,
      L"documentation-fails enabled=1 handler=1" + quiet,
      L"handler-raises enabled=1 handler=1 during-cursor=0 during-monitor=0 cursor=0 monitor=0 "
      L"raised=Exception: Help Insight view failed",
  };
  EXPECT_EQ(ViewSteps(L"HelpInsightViewOn", L""), patched);
  EXPECT_EQ(ViewSteps(L"HelpInsightViewOff", L"IDE.HelpInsightViewCmd"), host);
}
