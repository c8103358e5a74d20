// The shipped Quillmend.dll in the stand-in IDE with the workloads of the
// compiler's smaller routines: the same checksums and counts with the pack
// disabled and enabled, and each patch listed as applied.
#include "Tests/Support/IdeRun.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

TIdeRun RunWorkload(const std::wstring& name, const std::wstring& disabled, const std::vector<std::wstring>& workload) {
  TIdeSetup setup;
  setup.Name = name;
  setup.Suite = L"CompilerRoutines";
  setup.Library = BuildDirectory() + L"\\out\\Quillmend.dll";
  setup.Environment = {{L"Quillmend.DisabledPatches", disabled}};
  setup.Arguments = {L"-run"};
  setup.Arguments.insert(setup.Arguments.end(), workload.begin(), workload.end());
  return RunIde(setup);
}

bool Listed(const TIdeRun& run, const std::wstring& patch) {
  for (const std::wstring& added : run.Lines(L"ABOUT-ADD "))
    if (added.find(L"applied: ") != std::wstring::npos && added.find(L" [" + patch + L"]") != std::wstring::npos)
      return true;
  return false;
}

// The line without its time.
std::wstring WithoutTime(const std::wstring& line) {
  const size_t ms = line.find(L" ms=");
  return ms == std::wstring::npos ? line : line.substr(0, ms) + line.substr(line.find(L' ', ms + 1));
}

struct TWorkloadRow {
  const wchar_t* Name;
  std::vector<std::wstring> Workload;
  const wchar_t* Line;   // the journal line compared
  const wchar_t* Patch;  // listed as applied when enabled
};

}  // namespace

TEST(CompilerRoutinesShipped, SameResultsWithEveryPatchApplied) {
  const TWorkloadRow rows[] = {
      {L"Pools", {L"dccpools", L"300", L"20000"}, L"DCC-POOLS ", L"Compiler.Memory.Shrink"},
      {L"Names", {L"dccnames", L"20000", L"40"}, L"DCC-NAMES ", L"Compiler.Unit.RdName"},
      {L"Map", {L"dccmap", L"5000"}, L"DCC-MAP ", L"Compiler.MapFile.fprintf"},
      {L"Tokens", {L"dcctokens", L"3000", L"3000"}, L"DCC-TOKENS ", L"Compiler.PrefetchToken"},
      {L"Warnings", {L"dccwarnings", L"3000", L"300", L"300"}, L"DCC-WARNINGS ", L"Compiler.WarnLoadResString"},
      {L"RootTypes", {L"dccroottypes", L"300", L"3000"}, L"DCC-ROOTTYPES ", L"Compiler.RootTypeUnitList"},
      {L"Rsm", {L"dccrsm", L"16", L"2000"}, L"DCC-RSM ", L"Compiler.RsmMemLeak"},
      {L"FileNames", {L"dccfilenames", L"20000", L"60"}, L"DCC-FILENAMES ", L"Compiler.FileNameStringFunctions"},
      {L"FileIndex", {L"dccfileindex", L"2000", L"4000"}, L"DCC-FILEINDEX ", L"Compiler.DbkGetFileIndex"},
  };
  for (const TWorkloadRow& row : rows) {
    SCOPED_TRACE(std::string(row.Line, row.Line + wcslen(row.Line)));
    const TIdeRun plain = RunWorkload(std::wstring(row.Name) + L"Disabled", L"*", row.Workload);
    const TIdeRun patched = RunWorkload(std::wstring(row.Name) + L"Enabled", L"", row.Workload);
    for (const TIdeRun* run : {&plain, &patched}) {
      EXPECT_EQ(run->ExitCode, 0u);
      EXPECT_TRUE(run->Lines(L"EXCEPTION ").empty());
      EXPECT_TRUE(run->Lines(L"PATCH-FAILED ").empty());
      ASSERT_EQ(run->Lines(row.Line).size(), 1u);
    }
    std::wstring plainLine = WithoutTime(plain.Lines(row.Line)[0]), patchedLine = WithoutTime(patched.Lines(row.Line)[0]);
    // The map's formatted writes: one per entry instead of two.
    const size_t writes = plainLine.find(L" writes=");
    if (writes != std::wstring::npos) {
      EXPECT_NE(plainLine.find(L" writes=10000 "), std::wstring::npos);
      EXPECT_NE(patchedLine.find(L" writes=5000 "), std::wstring::npos);
      plainLine.erase(writes, plainLine.find(L' ', writes + 1) - writes);
      patchedLine.erase(writes, patchedLine.find(L' ', writes + 1) - writes);
    }
    // Token buffers from the free list, stored lengths without strlen.
    if (plainLine.find(L" allocations=") != std::wstring::npos) {
      EXPECT_NE(plainLine.find(L" allocations=3000 strlens=3000"), std::wstring::npos);
      EXPECT_NE(patchedLine.find(L" allocations=0 strlens=1500"), std::wstring::npos);
      plainLine.erase(plainLine.find(L" allocations="));
      patchedLine.erase(patchedLine.find(L" allocations="));
      EXPECT_TRUE(Listed(patched, L"Compiler.StrLenCalls"));
    }
    // Hidden warnings load nothing, the list's header once.
    if (plainLine.find(L" hidden-loads=") != std::wstring::npos) {
      EXPECT_EQ(plainLine.find(L" hidden-loads=0 "), std::wstring::npos);
      EXPECT_NE(plainLine.find(L" list-loads=100"), std::wstring::npos);
      EXPECT_NE(patchedLine.find(L" hidden-loads=0 "), std::wstring::npos);
      EXPECT_NE(patchedLine.find(L" list-loads=1"), std::wstring::npos);
      plainLine.erase(plainLine.find(L" hidden-loads="));
      patchedLine.erase(patchedLine.find(L" hidden-loads="));
    }
    // The RSM store's leak: only the elements' blocks stay live patched.
    if (plainLine.find(L" live=") != std::wstring::npos) {
      EXPECT_NE(plainLine.substr(plainLine.find(L" live=")), L" live=16");
      EXPECT_EQ(patchedLine.substr(patchedLine.find(L" live=")), L" live=16");
      plainLine.erase(plainLine.find(L" live="));
      patchedLine.erase(patchedLine.find(L" live="));
    }
    // The file index: the compiler's name comparisons are no longer made.
    if (plainLine.find(L" compares=") != std::wstring::npos) {
      EXPECT_EQ(plainLine.find(L" compares=0"), std::wstring::npos);
      EXPECT_NE(patchedLine.find(L" compares=0"), std::wstring::npos);
      plainLine.erase(plainLine.find(L" compares="));
      patchedLine.erase(patchedLine.find(L" compares="));
    }
    EXPECT_EQ(patchedLine, plainLine);
    EXPECT_TRUE(Listed(patched, row.Patch));
    EXPECT_FALSE(Listed(plain, row.Patch));
  }
}

// The resource linker in the stand-in IDE: 5,000 resources (windres wrote
// them) fail with the linker's error unpatched and are all linked patched.
TEST(CompilerRoutinesShipped, FiveThousandResourcesLinkedWithThePatch) {
  const std::vector<std::wstring> workload = {L"rlink", BuildDirectory() + L"\\oracle\\res\\mixed5000.res"};
  const TIdeRun plain = RunWorkload(L"RlinkDisabled", L"*", workload);
  const TIdeRun patched = RunWorkload(L"RlinkEnabled", L"", workload);
  ASSERT_EQ(plain.Lines(L"RLINK ").size(), 1u);
  ASSERT_EQ(patched.Lines(L"RLINK ").size(), 1u);
  EXPECT_EQ(plain.Lines(L"RLINK ")[0].find(L"error=7567 linked=0 "), 0u);
  EXPECT_EQ(patched.Lines(L"RLINK ")[0].find(L"error=0 linked=5000 "), 0u);
  EXPECT_TRUE(Listed(patched, L"Compiler.rlink32.MaxResCount"));
  EXPECT_TRUE(patched.Lines(L"PATCH-FAILED ").empty());
}

// The compiler's memory in the stand-in IDE: kept after a large compile
// and after the debuggee deleted an object unpatched, given back patched.
TEST(CompilerRoutinesShipped, CompilerMemoryGivenBack) {
  const std::vector<std::wstring> workload = {L"dccrelease", L"3000"};
  const TIdeRun plain = RunWorkload(L"ReleaseDisabled", L"*", workload);
  const TIdeRun patched = RunWorkload(L"ReleaseEnabled", L"", workload);
  ASSERT_EQ(plain.Lines(L"DCC-RELEASE ").size(), 1u);
  ASSERT_EQ(patched.Lines(L"DCC-RELEASE ").size(), 1u);
  const std::wstring before = plain.Lines(L"DCC-RELEASE ")[0], after = patched.Lines(L"DCC-RELEASE ")[0];
  // 3,000 blocks of 1,000 bytes: 47 chunks of 64 KB, then 5 more.
  EXPECT_NE(before.find(L" grown=1 after-compile=3080192 after-delete=3407872"), std::wstring::npos);
  EXPECT_NE(after.find(L" grown=1 after-compile=0 after-delete=0"), std::wstring::npos);
  EXPECT_EQ(before.substr(0, before.find(L" grown=")), after.substr(0, after.find(L" grown=")));
  EXPECT_TRUE(Listed(patched, L"Compiler.ReleaseUnusedMemory"));
  EXPECT_TRUE(Listed(patched, L"Compiler.ReleaseUnusedMemory.IDE"));
  EXPECT_TRUE(patched.Lines(L"PATCH-FAILED ").empty());
}
