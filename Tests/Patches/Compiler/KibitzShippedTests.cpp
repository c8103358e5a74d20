// The shipped Quillmend.dll in the stand-in IDE with the codeinsight workload:
// the compiler's answers and the completion lists the same with the pack
// disabled and enabled; enabled, only the error-insight passes that compiled
// force a recompile, completions load each unit once, SetAllowKibitzedFlag
// called by another module decides the next SetKibitzedSinceCompiled, and
// both patches are listed as applied (the group, ignored, is not).
#include "Tests/Support/IdeRun.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

namespace {

TIdeRun RunKibitz(const std::wstring& name, const std::wstring& disabled) {
  TIdeSetup setup;
  setup.Name = name;
  setup.Suite = L"CompilerKibitz";
  setup.Library = BuildDirectory() + L"\\out\\Quillmend.dll";
  setup.Environment = {{L"Quillmend.DisabledPatches", disabled}};
  setup.Arguments = {L"-run", L"codeinsight", L"200", L"20", L"60"};
  return RunIde(setup);
}

// The value of `key=` in a journal line.
unsigned long Field(const std::wstring& line, const std::wstring& key) {
  const size_t at = line.find(L" " + key + L"=");
  return at == std::wstring::npos ? ~0ul : std::wcstoul(line.c_str() + at + key.size() + 2, nullptr, 10);
}

std::wstring Checksum(const std::wstring& line) { return line.substr(line.find(L" checksum=")); }

bool Listed(const TIdeRun& run, const std::wstring& patch) {
  for (const std::wstring& added : run.Lines(L"ABOUT-ADD "))
    if (added.find(L"applied: ") != std::wstring::npos && added.find(L" [" + patch + L"]") != std::wstring::npos)
      return true;
  return false;
}

}  // namespace

TEST(CompilerKibitzShipped, SameAnswersFewerRecompilesAndUnitLoads) {
  const TIdeRun plain = RunKibitz(L"KibitzDisabled", L"*");
  const TIdeRun patched = RunKibitz(L"KibitzEnabled", L"");
  for (const TIdeRun* run : {&plain, &patched}) {
    EXPECT_EQ(run->ExitCode, 0u);
    EXPECT_TRUE(run->Saw(L"SHUTDOWN"));
    EXPECT_TRUE(run->Lines(L"EXCEPTION ").empty());
    EXPECT_TRUE(run->Lines(L"PATCH-FAILED ").empty());
    ASSERT_EQ(run->Lines(L"CODEINSIGHT-ERRORINSIGHT ").size(), 1u);
    ASSERT_EQ(run->Lines(L"CODEINSIGHT-COMPLETION ").size(), 1u);
  }
  const std::wstring plainPasses = L" " + plain.Lines(L"CODEINSIGHT-ERRORINSIGHT ")[0];
  const std::wstring patchedPasses = L" " + patched.Lines(L"CODEINSIGHT-ERRORINSIGHT ")[0];
  // 200 passes over 20 units: 20 first compiles and 16 after a source change;
  // 40 builds, of which 20 follow a pass that compiled.
  EXPECT_EQ(Field(plainPasses, L"compiles"), 36ul);
  EXPECT_EQ(Field(patchedPasses, L"compiles"), 36ul);
  EXPECT_EQ(Field(patchedPasses, L"counted"), 36ul);
  EXPECT_EQ(Field(plainPasses, L"recompiles"), 40ul);
  EXPECT_EQ(Field(patchedPasses, L"recompiles"), 20ul);

  const std::wstring plainList = L" " + plain.Lines(L"CODEINSIGHT-COMPLETION ")[0];
  const std::wstring patchedList = L" " + patched.Lines(L"CODEINSIGHT-COMPLETION ")[0];
  EXPECT_EQ(Checksum(patchedList), Checksum(plainList));
  EXPECT_EQ(Field(plainList, L"loads"), 40ul * 20);  // 40 of 60 completions clear the cache
  EXPECT_EQ(Field(patchedList, L"loads"), 20ul);

  EXPECT_TRUE(plain.Saw(L"CODEINSIGHT-ALLOW denied=1 allowed=1"));
  EXPECT_TRUE(patched.Saw(L"CODEINSIGHT-ALLOW denied=0 allowed=1"));
  for (const wchar_t* patch :
       {L"IDE.KibitzNoClearUnitCache.InvokeCodeCompletion", L"ErrorInsight.SetKibitzedSinceCompiled"})
    EXPECT_TRUE(Listed(patched, patch)) << std::string(patch, patch + wcslen(patch));
  EXPECT_FALSE(Listed(patched, L"IDE.KibitzNoClearUnitCache"));
}
