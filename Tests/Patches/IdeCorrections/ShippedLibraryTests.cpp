// The shipped Quillmend.dll in the stand-in IDE, which has vcl150.bpl and
// boreditu.dll loaded before its packages: the five IDE corrections are
// applied (the GDI patches when the library loads, the bracket fix and the
// wait fix at the expert entry), the editor's bracket searches answer as
// the fix says, the component library's bitmaps are shared, the Help Insight
// parser thread waits once, and the IDE shuts down cleanly.
#include "Tests/Support/IdeRun.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <map>

namespace {

const std::vector<std::wstring> Entries = {
    L"applied: Parenthese mismatching in string literals fix [IDE.Editor.ParanMatching]",
    L"applied: Reduces the IDE's ToolBar GDI handle usage [IDE.GDIHandles.ToolBar]",
    L"applied: Reduces the IDE's TTabs scroller GDI handle usage [IDE.GDIHandles.TabScroller]",
    L"applied: Reduces the IDE's ToolBar GDI handle usage [IDE.GDIHandles.ImageList]",
    L"applied: Fix HelpInsight background thread wait time [IDE.HelpInsight.WaitFor]",
};

TIdeRun RunBds(const std::wstring& name, const std::wstring& disabled, std::vector<std::wstring> arguments) {
  TIdeSetup setup;
  setup.Name = name;
  setup.Suite = L"IdeCorrections";
  setup.Library = BuildDirectory() + L"\\out\\Quillmend.dll";
  setup.Environment = {{L"Quillmend.DisabledPatches", disabled}};
  setup.Arguments = std::move(arguments);
  TIdeRun run = RunIde(setup);
  EXPECT_EQ(run.ExitCode, 0u);
  EXPECT_TRUE(run.Saw(L"SHUTDOWN"));
  EXPECT_TRUE(run.Lines(L"EXCEPTION ").empty());
  EXPECT_TRUE(run.Lines(L"PATCH-FAILED ").empty());
  return run;
}

bool AboutLists(const TIdeRun& run, const std::wstring& entry) {
  for (const std::wstring& added : run.Lines(L"ABOUT-ADD "))
    if (added.find(entry) != std::wstring::npos) return true;
  return false;
}

// "GDI-BITMAPS <what> count=<n> before=<b> live=<m>" -> what -> bitmaps the batch holds (m - b)
std::map<std::wstring, int> BatchBitmaps(const TIdeRun& run) {
  std::map<std::wstring, int> held;
  for (const std::wstring& line : run.Lines(L"GDI-BITMAPS ")) {
    const int before = std::stoi(line.substr(line.find(L" before=") + 8));
    const int live = std::stoi(line.substr(line.find(L" live=") + 6));
    held[line.substr(0, line.find(L' '))] = live - before;
  }
  return held;
}

} // namespace

TEST(IdeCorrectionsShipped, BracketSearchesOverLiteralsAnswerAsTheFixSays) {
  const TIdeRun on = RunBds(L"BracketsOn", L"", {L"-run", L"brackets"});
  for (const std::wstring& entry : Entries) EXPECT_TRUE(AboutLists(on, entry)) << std::string(entry.begin(), entry.end());
  const TIdeRun off = RunBds(L"BracketsOff", L"*", {L"-run", L"brackets"});
  EXPECT_FALSE(AboutLists(off, L"[IDE.Editor.ParanMatching]"));
  const std::vector<std::wstring> patched = on.Lines(L"BRACKET-SEARCH ");
  const std::vector<std::wstring> host = off.Lines(L"BRACKET-SEARCH ");
  ASSERT_EQ(patched.size(), 6u);
  ASSERT_EQ(host.size(), 6u);
  EXPECT_EQ(host[1], L"s := 'it''s'; caret=5 -> 8");
  EXPECT_EQ(patched[1], L"s := 'it''s'; caret=5 -> 11");
  EXPECT_EQ(host[2], L"if (c == ')') { f(x); } caret=3 -> 10");
  EXPECT_EQ(patched[2], L"if (c == ')') { f(x); } caret=3 -> 12");
  EXPECT_EQ(host[4], L"x = \"a\\\"b\"; caret=9 -> 7");
  EXPECT_EQ(patched[4], L"x = \"a\\\"b\"; caret=9 -> 4");
  EXPECT_EQ(patched[5], host[5]);  // a comment: the editor's own answer
}

TEST(IdeCorrectionsShipped, ToolBarsScrollersAndImageListsShareTheirBitmaps) {
  constexpr int Count = 40;
  const std::vector<std::wstring> arguments = {L"-run", L"gdihandles", std::to_wstring(Count)};
  std::map<std::wstring, int> on = BatchBitmaps(RunBds(L"GdiOn", L"", arguments));
  std::map<std::wstring, int> off = BatchBitmaps(RunBds(L"GdiOff", L"*", arguments));
  ASSERT_EQ(on.size(), 6u);
  ASSERT_EQ(off.size(), 6u);
  EXPECT_EQ(off[L"toolbars"], Count);
  EXPECT_EQ(off[L"scrollers-painted"], Count);
  EXPECT_EQ(off[L"imagelists-16x16"], 2 * Count);  // a scratch bitmap and a mask each
  EXPECT_EQ(on[L"toolbars"], 1);                   // the shared one, made when first painted
  EXPECT_EQ(on[L"scrollers-painted"], 0);
  EXPECT_EQ(on[L"imagelists-16x16"], 1);
  EXPECT_EQ(on[L"imagelists-3-sizes"], 3);
}

// The parser thread's wait under a message every 1, 10 and 100 ms: the
// host's waits again after each message, the fixed one once.
TEST(IdeCorrectionsShipped, HelpInsightWaitsOnceWhileMessagesArrive) {
  const std::vector<std::wstring> arguments = {L"-run", L"helpinsightwait", L"1000", L"100"};
  const std::vector<std::wstring> on = RunBds(L"HelpInsightWaitOn", L"", arguments).Lines(L"HELPINSIGHT-WAIT ");
  const std::vector<std::wstring> off = RunBds(L"HelpInsightWaitOff", L"IDE.HelpInsight.WaitFor", arguments)
                                            .Lines(L"HELPINSIGHT-WAIT ");
  ASSERT_EQ(on.size(), 3u);
  ASSERT_EQ(off.size(), 3u);
  auto waits = [](const std::wstring& line) { return std::stoi(line.substr(line.find(L" waits=") + 7)); };
  for (const std::wstring& line : on) {
    EXPECT_EQ(waits(line), 1) << std::string(line.begin(), line.end());
    EXPECT_NE(line.find(L" signalled=0"), std::wstring::npos);
  }
  EXPECT_GT(waits(off[0]), 1) << "a message every millisecond should have made the host's wait wait again";
}
