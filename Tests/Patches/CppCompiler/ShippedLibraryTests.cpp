// The shipped Quillmend.dll (<build>/out) in the stand-in IDE with the C++
// personality: the C++ patches are applied at the expert entry when the
// compiler was loaded before it (and only then listed in the about box),
// then again on each of three later loads, with the compiler's results the
// same as with the pack disabled.
#include "Tests/Support/IdeRun.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::vector<std::wstring> CppEntries = {
    L"applied: C++ Compiler Optimizations [CppCompiler.Optimizations]",
    L"applied: C++ Debug Symbol Reader optimization [Debugger.CppDebugSymbolReader]",
    L"applied: Remove unnecessary PeekMessage calls from DoKibitzProgress [bcc.DoKibitzProgress]",
    L"applied: Inline ltolower calls [bcc.ltolowerCalls]",
    L"applied: Faster ASCII case insensitive string compare function [bcc.stricmp]",
};

TIdeRun RunWithCompiler(const std::wstring& name, const std::wstring& disabled, std::vector<std::wstring> arguments) {
  TIdeSetup setup;
  setup.Name = name;
  setup.Suite = L"CppCompiler";
  setup.Library = BuildDirectory() + L"\\out\\Quillmend.dll";
  setup.Environment = {{L"Quillmend.DisabledPatches", disabled}};
  setup.Packages = {{BuildDirectory() + L"\\host\\delphicoreide150.bpl", L"Delphi Core IDE Package"},
                    {BuildDirectory() + L"\\host\\win32debugide150.bpl", L"Win32 Debugger IDE Package"}};
  setup.Arguments = std::move(arguments);
  return RunIde(setup);
}

std::wstring AboutText(const TIdeRun& run) {
  std::vector<std::wstring> added = run.Lines(L"ABOUT-ADD ");
  return added.size() == 1 ? added[0] : L"";
}

TEST(CppCompilerShipped, AppliedAtTheEntryAndOnEveryLoadWithTheCompilersResults) {
  const TIdeRun enabled = RunWithCompiler(L"Cycles", L"", {L"-comp32x", L"-run", L"cppcycle", L"3"});
  const TIdeRun disabled = RunWithCompiler(L"CyclesDisabled", L"*", {L"-comp32x", L"-run", L"cppcycle", L"3"});
  for (const TIdeRun* run : {&enabled, &disabled}) {
    EXPECT_EQ(run->ExitCode, 0u);
    EXPECT_TRUE(run->Saw(L"SHUTDOWN"));
    EXPECT_TRUE(run->Lines(L"EXCEPTION ").empty());
  }
  const std::wstring about = AboutText(enabled);
  for (const std::wstring& entry : CppEntries) EXPECT_NE(about.find(entry), std::wstring::npos) << std::string(entry.begin(), entry.end());
  EXPECT_TRUE(enabled.Lines(L"PATCH-FAILED ").empty());
  EXPECT_TRUE(enabled.Lines(L"MESSAGEBOX ").empty()) << "no failed-patch warning after any load";
  const std::vector<std::wstring> cycles = enabled.Lines(L"CPP-CYCLE ");
  ASSERT_EQ(cycles.size(), 3u);
  EXPECT_EQ(cycles, disabled.Lines(L"CPP-CYCLE "));
  for (size_t i = 1; i < cycles.size(); ++i) EXPECT_EQ(cycles[i].substr(2), cycles[0].substr(2));
}

TEST(CppCompilerShipped, WithoutTheCompilerAtTheEntryTheAboutBoxListsNoCppPatch) {
  const TIdeRun run = RunWithCompiler(L"LaterLoad", L"", {L"-bccide", L"-run", L"cppcycle", L"1"});
  EXPECT_EQ(run.ExitCode, 0u);
  EXPECT_EQ(AboutText(run).find(L"CppCompiler.Optimizations"), std::wstring::npos);
  EXPECT_EQ(run.Lines(L"CPP-CYCLE ").size(), 1u);
  EXPECT_TRUE(run.Lines(L"MESSAGEBOX ").empty()) << "the later load applied every C++ patch";
}

}  // namespace
