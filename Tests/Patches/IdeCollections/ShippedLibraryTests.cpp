// The shipped Quillmend.dll in the stand-in IDE: the collection patches go
// into the IDE's core packages when the library loads (and at the expert
// entry), the about box lists them applied, and the collections workload
// ("-run collections") gives the same results as without the pack.
#include "Tests/Support/IdeRun.h"

#include <gtest/gtest.h>

#include <map>

namespace {

const std::vector<std::wstring> Entries = {
    L"applied: Reduce unnecessary calls to IntfCast [IDE.IntfCastReduction]",
    L"applied: Uses TInterfaceList.GetThreadUnsafe for TBasePaletteGroup.GetItem [IDE.IntfCastReduction.MoreSpeed]",
    L"applied: Better string hash function [IDE.Collections.StrHash]",
    L"applied: Faster TUsesList.Clear [IDE.UsesList.Clear]",
    L"applied: Removes calls to empty CheckAndWarn function [IDE.CheckAndWarn]",
    L"applied: IDE MSBuild Objects performance [IDE.MSBObjects]",
    L"applied: Performance fix the component toolbar [IDE.CompToolbarSpeed]",
    L"applied: Optimized AddToList (AddNotifier) function [IDE.AddToList]",
};

struct TCollectionsRun {
  TIdeRun Ide;
  std::wstring About;
  std::map<std::wstring, std::wstring> Results;  // phase -> result
};

TCollectionsRun RunCollections(const std::wstring& name, const std::wstring& disabled, std::vector<std::wstring> extra = {}) {
  TIdeSetup setup;
  setup.Name = name;
  setup.Suite = L"IdeCollections";
  setup.Library = BuildDirectory() + L"\\out\\Quillmend.dll";
  setup.Environment = {{L"Quillmend.DisabledPatches", disabled}};
  setup.Arguments = extra;
  for (const wchar_t* a : {L"-run", L"collections", L"6", L"30", L"800", L"800"}) setup.Arguments.push_back(a);
  TCollectionsRun run;
  run.Ide = RunIde(setup);
  for (const std::wstring& added : run.Ide.Lines(L"ABOUT-ADD ")) run.About += added;
  for (const std::wstring& line : run.Ide.Lines(L"COLLECTIONS-PHASE ")) {
    size_t result = line.find(L" result=");
    if (result != std::wstring::npos) run.Results[line.substr(0, line.find(L' '))] = line.substr(result + 8);
  }
  return run;
}

TEST(IdeCollectionsShipped, AllEightAppliedWithTheHostsResults) {
  const TCollectionsRun off = RunCollections(L"CollectionsOff", L"*");
  const TCollectionsRun on = RunCollections(L"CollectionsOn", L"");
  ASSERT_EQ(on.Ide.ExitCode, 0u);
  ASSERT_EQ(off.Ide.ExitCode, 0u);
  for (const std::wstring& entry : Entries) EXPECT_NE(on.About.find(entry), std::wstring::npos) << std::string(entry.begin(), entry.end());
  EXPECT_EQ(on.Results.size(), 7u);
  EXPECT_EQ(on.Results, off.Results);
  EXPECT_TRUE(on.Ide.Lines(L"EXCEPTION ").empty());
  EXPECT_TRUE(on.Ide.Saw(L"SHUTDOWN"));
}

// An IDE without the tool bar package: that patch is failed, with its reason.
TEST(IdeCollectionsShipped, WithoutTheToolBarPackageItsPatchFails) {
  const TCollectionsRun run = RunCollections(L"CollectionsNoToolbar", L"", {L"-omit", L"comptoolbar150.bpl"});
  std::vector<std::wstring> failed = run.Ide.Lines(L"PATCH-FAILED ");
  EXPECT_EQ(failed, std::vector<std::wstring>{L"IDE.CompToolbarSpeed: comptoolbar150.bpl: module not loaded"});
  EXPECT_NE(run.About.find(L"[IDE.UsesList.Clear]"), std::wstring::npos);
}

}  // namespace
