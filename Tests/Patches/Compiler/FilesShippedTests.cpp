// The shipped Quillmend.dll in the stand-in IDE with the dccfiles workload:
// the same answers, recompiled units and written bytes in every pass with
// the pack disabled and enabled, every file patch applied, and the file
// queries of every pass a fraction of the unpatched ones.
#include "Tests/Support/IdeRun.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

struct TPass {
  std::wstring Checksums;  // the line without time and counts
  unsigned Queries = 0;
};

struct TFilesRun {
  TIdeRun Ide;
  std::vector<TPass> Passes;
};

TFilesRun RunFiles(const std::wstring& name, const std::wstring& disabled) {
  TIdeSetup setup;
  setup.Name = name;
  setup.Suite = L"CompilerFiles";
  setup.Library = BuildDirectory() + L"\\out\\Quillmend.dll";
  setup.Environment = {{L"Quillmend.DisabledPatches", disabled}};
  setup.Arguments = {L"-run", L"dccfiles", L"4", L"40", L"80", L"4"};
  TFilesRun run;
  run.Ide = RunIde(setup);
  for (const std::wstring& line : run.Ide.Lines(L"DCCFILES-PASS ")) {
    TPass pass;
    const size_t queries = line.find(L" queries=");
    pass.Queries = unsigned(std::wcstoul(line.c_str() + queries + 9, nullptr, 10));
    const size_t rest = line.find(L" searches=");
    pass.Checksums = line.substr(0, line.find(L' ')) + line.substr(rest, line.find(L" checkages=") - rest);
    run.Passes.push_back(pass);
  }
  return run;
}

}  // namespace

TEST(CompilerFilesShipped, SameCompileWithFewerFileQueries) {
  const TFilesRun plain = RunFiles(L"FilesDisabled", L"*");
  const TFilesRun patched = RunFiles(L"FilesEnabled", L"");
  for (const TFilesRun* run : {&plain, &patched}) {
    EXPECT_EQ(run->Ide.ExitCode, 0u);
    EXPECT_TRUE(run->Ide.Saw(L"SHUTDOWN"));
    EXPECT_TRUE(run->Ide.Lines(L"EXCEPTION ").empty());
    EXPECT_TRUE(run->Ide.Lines(L"PATCH-FAILED ").empty());
    ASSERT_EQ(run->Passes.size(), 4u);
  }
  for (size_t i = 0; i < plain.Passes.size(); ++i) {
    SCOPED_TRACE(i + 1);
    EXPECT_EQ(patched.Passes[i].Checksums, plain.Passes[i].Checksums);
    EXPECT_LT(patched.Passes[i].Queries * 10, plain.Passes[i].Queries);
  }
  for (const wchar_t* patch : {L"Compiler.MapFileBuffer", L"Compiler.DrcFileBuffer", L"Compiler.BackgroundCompilerFileExists",
                               L"Compiler.SourceOutdated.1", L"Compiler.SourceOutdated.2", L"Compiler.SourceOutdated.3.Update1",
                               L"Compiler.FileSearchCache", L"Compiler.KibitzGetValidSymbols", L"Compiler.DirectorySearch",
                               L"ErrorInsight.LockCurrentDir"}) {
    bool listed = false;
    for (const std::wstring& added : patched.Ide.Lines(L"ABOUT-ADD "))
      listed = listed || (added.find(L"applied: ") != std::wstring::npos &&
                              added.find(std::wstring(L" [") + patch + L"]") != std::wstring::npos);
    EXPECT_TRUE(listed) << std::string(patch, patch + wcslen(patch));
  }
}
