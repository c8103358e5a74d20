// The compile's progress: unpatched, no window message is processed while
// the compile runs, so a click on Cancel waits until it has ended, and
// every progress call reaches the host's BPROGRESS; patched, on the main
// thread with a progress monitor and no preparation, messages are pumped at
// most every 80 ms (the click ends the compile), and repeated calls for one
// file within 80 ms stop short of the host. Elsewhere nothing changes.
#include <gtest/gtest.h>

#include <windows.h>

#include <thread>

#include "DesignerStandIns.h"
#include "Patches/DesignerShell/BProgressResponsiveness.h"

namespace {

using namespace CompileProgressDriver;
using DesignerStandIns::Progress;
using DesignerStandIns::Pump;

const wchar_t* const BProgress = L"IDE.Compile.BProgress";

void LoadAndMaybeInstall(bool patched) {
  DesignerStandIns::Load();
  if (!patched) return;
  DesignerStandIns::Install();
  ASSERT_EQ(DesignerStandIns::Status(BProgress), L"applied") << DesignerStandIns::Reasons();
}

struct TCounts {
  int Originals = 0, Clicks = 0, Shows = 0, Pumps = 0;
};
TCounts Counts() {
  TCounts c;
  Progress().Counts(&c.Originals, &c.Clicks, &c.Shows);
  c.Pumps = Pump().Pumps();
  return c;
}

struct TCompileCase {
  const char* Name;
  int Options;   // the progress form's options (8: may be cancelled)
  int Preparing;
  int ClickAt;   // -1: no click
  int Files, Calls;
  // unpatched → patched: files finished, original calls, clicks taken
  int FinishedOff, OriginalsOff, ClicksOff;
  int FinishedOn, OriginalsOn, ClicksOn;
};

const TCompileCase CompileCases[] = {
    // The click is queued before the first call: pumped by the first exchange, it ends the compile there.
    {"ACancelClickEndsTheCompile", 8, 0, 0, 20, 5, 20, 100, 0, 0, 1, 1},
    // Distinct files: every call reaches the host either way.
    {"EveryNewFileReachesTheHost", 8, 0, -1, 30, 1, 30, 30, 0, 30, 30, 0},
    // A form that may not be cancelled is never pumped for.
    {"AFormWithoutTheOptionIsNotPumpedFor", 0, 0, 0, 20, 1, 20, 20, 0, 20, 20, 0},
    // A preparation: the host's callback as it is.
    {"WhilePreparingNothingChanges", 8, 1, 0, 20, 5, 20, 100, 0, 20, 100, 0},
};

void PrintTo(const TCompileCase& c, std::ostream* os) { *os << c.Name; }

class DesignerCompileProgress : public testing::TestWithParam<std::tuple<TCompileCase, bool>> {};

TEST_P(DesignerCompileProgress, Compiles) {
  const TCompileCase& c = std::get<0>(GetParam());
  const bool patched = std::get<1>(GetParam());
  LoadAndMaybeInstall(patched);
  Progress().Begin(c.Options, 0);
  Progress().SetState(c.Preparing, -1);
  const TCounts before = Counts();
  const int finished = Progress().Files(c.Files, c.Calls, 0, c.ClickAt);
  const TCounts after = Counts();
  Progress().End();
  EXPECT_EQ(finished, patched ? c.FinishedOn : c.FinishedOff);
  EXPECT_EQ(after.Originals - before.Originals, patched ? c.OriginalsOn : c.OriginalsOff);
  EXPECT_EQ(after.Clicks - before.Clicks, patched ? c.ClicksOn : c.ClicksOff);
  if (!patched || c.Preparing || c.Options == 0) {
    EXPECT_EQ(after.Pumps, before.Pumps);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, DesignerCompileProgress,
                         testing::Combine(testing::ValuesIn(CompileCases), testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<TCompileCase, bool>>& info) {
                           return std::string(std::get<0>(info.param).Name) +
                                  (std::get<1>(info.param) ? "_Patched" : "_Unpatched");
                         });

TEST(DesignerCompileProgress, RepeatedCallsForOneFileStopShortOfTheHost) {
  LoadAndMaybeInstall(true);
  Progress().Begin(8, 0);
  const TCounts before = Counts();
  for (int line = 0; line < 50; ++line) EXPECT_EQ(Progress().BProgress(50, line, "Unit1.pas", pkCompiling), 0);
  const TCounts after = Counts();
  // 50 calls take far less than 80 ms; a slow machine may let one more through.
  EXPECT_GE(after.Originals - before.Originals, 1);
  EXPECT_LE(after.Originals - before.Originals, 2);
  EXPECT_LE(after.Pumps - before.Pumps, 2);
  // Another kind or another file reaches the host at once.
  Progress().BProgress(1, 0, "Unit1.pas", pkLinking);
  Progress().BProgress(1, 0, "Unit2.pas", pkLinking);
  EXPECT_EQ(Counts().Originals - after.Originals, 2);
  Progress().End();
}

TEST(DesignerCompileProgress, ACancellationBetweenCallsIsTakenWithoutTheHost) {
  LoadAndMaybeInstall(true);
  Progress().Begin(8, 0);
  ASSERT_EQ(Progress().BProgress(5, 0, "Unit1.pas", pkCompiling), 0);
  // The monitor cancelled: the next call for the same file answers 1 and lets the host see it once.
  Progress().SetState(0, 1);
  int originals = Counts().Originals;
  EXPECT_EQ(Progress().BProgress(5, 1, "Unit1.pas", pkCompiling), 1);
  EXPECT_EQ(Counts().Originals - originals, 1);
  // A new compile: FormShow forgets the click, the monitor is fresh.
  Progress().Begin(8, 0);
  void* form = *reinterpret_cast<void**>(GetProcAddress(GetModuleHandleW(L"coreide150.bpl"), Export::ProgressForm));
  ASSERT_EQ(Progress().BProgress(5, 0, "Unit1.pas", pkCompiling), 0);
  Progress().CancelButtonClick(form, form);
  originals = Counts().Originals;
  EXPECT_EQ(Progress().BProgress(5, 1, "Unit1.pas", pkCompiling), 1);
  EXPECT_EQ(Counts().Originals - originals, 1);
  Progress().Begin(8, 0);
  EXPECT_EQ(Progress().BProgress(5, 2, "Unit1.pas", pkCompiling), 0);
  Progress().End();
}

TEST(DesignerCompileProgress, OffTheMainThreadOrWithoutAMonitorTheHostIsCalledAsItIs) {
  LoadAndMaybeInstall(true);
  Progress().Begin(8, 0);
  TCounts before = Counts();
  int finished = 0;
  std::thread([&] { finished = Progress().Files(10, 5, 0, -1); }).join();
  TCounts after = Counts();
  EXPECT_EQ(finished, 10);
  EXPECT_EQ(after.Originals - before.Originals, 50);
  EXPECT_EQ(after.Pumps, before.Pumps);
  Progress().End();
  before = Counts();
  for (int line = 0; line < 5; ++line) EXPECT_EQ(Progress().BProgress(5, line, "Unit1.pas", pkCompiling), 0);
  after = Counts();
  EXPECT_EQ(after.Originals - before.Originals, 5);
  EXPECT_EQ(after.Pumps, before.Pumps);
}

} // namespace
