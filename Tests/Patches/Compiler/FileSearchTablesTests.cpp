// The file-search caches' own structures, without a compiler: the hash
// tables (growth, removal, keys ignoring case), the compiler's directory
// lists as the hooks keep them, the DOS time of an editor's date-time, and
// the dry runs' reasons for the patches a build does not try.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>
#include <windows.h>

#include "Framework/PatchPlan.h"
#include "Patches/Compiler/CompilerFileSearch.h"
#include "Patches/Compiler/CompilerOptimization.h"
#include "Patches/Compiler/DirectoryCache.h"
#include "Patches/Compiler/FileSearchTables.h"
#include "Patches/Compiler/UnsavedFileCache.h"
#include "StandInFiles.h"

using namespace Quillmend;

TEST(FileSearchTables, EntriesAreFoundIgnoringCaseByNameAndKind) {
  TEntryDictionary entries;  // 16 to begin with: 300 names make it grow several times
  std::vector<int> objects(300);
  for (int i = 0; i < 300; ++i) entries.Add(("Unit" + std::to_string(i) + ".PAS").c_str(), i % 2 ? 5 : 1, &objects[size_t(i)]);
  EXPECT_EQ(entries.Count(), 300);
  for (int i = 0; i < 300; ++i) {
    const std::string lower = "unit" + std::to_string(i) + ".pas";
    EXPECT_EQ(entries.Find(lower.c_str(), i % 2 ? 5 : 1), &objects[size_t(i)]) << lower;
    EXPECT_EQ(entries.Find(lower.c_str(), i % 2 ? 1 : 5), nullptr) << lower;
  }
  EXPECT_EQ(entries.Find("\xC3\x9Cnit.pas"), nullptr);
  entries.Add("\xC3\x9Cnit.pas", 0, &objects[0]);
  EXPECT_EQ(entries.Find("\xC3\x9CNIT.PAS"), &objects[0]);  // non-ASCII names compared through UTF-16
}

TEST(FileSearchTables, DirectoryNamesAreInternedOnce) {
  TDirNameDictionary names;
  EXPECT_EQ(names.Intern(nullptr), -1);
  EXPECT_EQ(names.Intern(""), -1);
  const int32_t src = names.Intern("src\\Units");
  EXPECT_EQ(names.Intern("SRC\\units"), src);
  EXPECT_NE(names.Intern("lib"), src);
  EXPECT_EQ(names.NameCount(), 2);
}

// Results are keyed by directory, kind and name; a written file's results
// are dropped and their slots used again.
TEST(FileSearchTables, SearchResultsByDirectoryKindAndName) {
  TFileNameDictionary results;
  results.Store(-1, 2, "k.inc", "src\\k.inc", 10);
  results.Store(-1, 3, "k.inc", "lib\\k.inc", 20);
  results.Store(4, 2, "K.INC", "inc\\k.inc", 30);
  ASSERT_NE(results.Find(-1, 2, "K.inc"), nullptr);
  EXPECT_EQ(results.Find(-1, 2, "K.inc")->Value, 10u);
  EXPECT_EQ(results.Find(-1, 3, "k.inc")->Value, 20u);
  EXPECT_EQ(results.Find(4, 2, "k.inc")->FoundPath, "inc\\k.inc");
  EXPECT_EQ(results.Find(4, 3, "k.inc"), nullptr);
  results.Store(-1, 2, "k.inc", "src\\k.inc", 11);
  EXPECT_EQ(results.Count(), 3);
  EXPECT_EQ(results.DropFound("SRC\\K.INC"), 1);
  EXPECT_EQ(results.Find(-1, 2, "k.inc"), nullptr);
  EXPECT_EQ(results.Count(), 2);
  for (int i = 0; i < 40; ++i) results.Store(i, 0, "x.inc", ("d\\x" + std::to_string(i)).c_str(), uint32_t(i + 1));
  EXPECT_EQ(results.Count(), 42);
  EXPECT_EQ(results.Find(39, 0, "x.inc")->Value, 40u);
  EXPECT_EQ(results.Find(-1, 3, "k.inc")->Value, 20u);
}

TEST(CompilerDirInfos, EqualListsAndTheCurrentDirectory) {
  TCompilerDirInfos a, b;
  a.Add(1, "src");
  a.Add(8, "ignored");
  a.Add(5, "out");
  b.CopyFrom(a);
  EXPECT_TRUE(a.Equals(b));
  b.CurrentDir = L"C:\\OTHER";
  a.CurrentDir = L"c:\\other";
  EXPECT_TRUE(a.Equals(b));
  b.Add(1, "lib");
  EXPECT_FALSE(a.Equals(b));
  a.Changed = false;
  EXPECT_TRUE(a.CheckCurrentDir());  // reads the process's directory
  EXPECT_TRUE(a.Changed);
  EXPECT_FALSE(a.CheckCurrentDir());
}

// The editor's date-time (days since 1899-12-30, local) as a DOS date/time:
// seconds truncated to even ones, milliseconds rounded first, years outside
// 1980..2107 none.
TEST(UnsavedFileCache, DosDateTimeOfAnEditorsDate) {
  struct TCase {
    double DateTime;
    uint32_t Expected;
  };
  auto dos = [](int year, int month, int day, int hour, int minute, int second) {
    return (uint32_t((year - 1980) << 9 | month << 5 | day) << 16) | uint32_t(hour << 11 | minute << 5 | second / 2);
  };
  const double day = 44625.0;  // 2022-03-05
  const TCase cases[] = {
      {day, dos(2022, 3, 5, 0, 0, 0)},
      {day + (10 * 3600 + 20 * 60 + 31) / 86400.0, dos(2022, 3, 5, 10, 20, 30)},
      {day + (86399.9996) / 86400.0, dos(2022, 3, 6, 0, 0, 0)},
      {29221.0, dos(1980, 1, 1, 0, 0, 0)},
      {29220.5, 0},
      {36585.0, dos(2000, 2, 29, 0, 0, 0)},
  };
  for (const TCase& c : cases) EXPECT_EQ(DosDateTimeOf(c.DateTime), c.Expected) << c.DateTime;
}

// What a dry run says of the patches a build does not try: ignored with a
// reason, where the installation leaves them unregistered.
struct TNotTriedCase {
  const char* Variant;
  const wchar_t* Patch;
  const wchar_t* Reason;
};

class CompilerFilePlans : public testing::TestWithParam<TNotTriedCase> {};

TEST_P(CompilerFilePlans, ABuildNotTryingAPatchSaysWhy) {
  const TNotTriedCase& c = GetParam();
  StandInFiles::Load(c.Variant);
  std::vector<std::wstring> applies;
  TDryRunOptions options;
  options.IsApplied = [&](const std::wstring& name) { return std::find(applies.begin(), applies.end(), name) != applies.end(); };
  std::vector<TPatchPlan> plans = CompilerOptimizationPlans();
  for (TPatchPlan& plan : CompilerFileSearchPlans()) plans.push_back(std::move(plan));
  bool seen = false;
  for (TPatchPlan& plan : plans) {
    const TPlanVerdict verdict = DryRunPlan(plan, options);
    if (verdict.Applies) applies.push_back(plan.Name());
    if (plan.Name() != c.Patch) continue;
    seen = true;
    EXPECT_TRUE(verdict.Ignored);
    EXPECT_EQ(verdict.Reason, c.Reason);
  }
  EXPECT_TRUE(seen);
}

INSTANTIATE_TEST_SUITE_P(
    CompilerFiles, CompilerFilePlans,
    testing::Values(TNotTriedCase{"outdated2-s4", L"Compiler.SourceOutdated.3.Update1",
                                  L"not tried: the source time's loop (Compiler.SourceOutdated.2) is not in this build"},
                    TNotTriedCase{nullptr, L"Compiler.SourceOutdated.4",
                                  L"not tried: this build has the loop of Compiler.SourceOutdated.2"},
                    TNotTriedCase{"filesearch", L"Compiler.KibitzGetValidSymbols", L"not tried: needs Compiler.FileSearchCache"}),
    [](const testing::TestParamInfo<TNotTriedCase>& info) {
      std::string name = info.param.Variant ? info.param.Variant : "standin";
      for (char& ch : name)
        if (!isalnum(uint8_t(ch))) ch = '_';
      return name;
    });
