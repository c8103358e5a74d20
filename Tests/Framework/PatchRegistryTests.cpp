// Patch registry. CTest runs every test in a process of its own, which these
// tests rely on: the registry reads "Quillmend.DisabledPatches" once per process.
#include "Framework/PatchRegistry.h"
#include "Hooking/EngineError.h"

#include <gtest/gtest.h>
#include <windows.h>

using namespace Quillmend;

namespace {

std::wstring StatusText(bool onlyFailed) {
  std::wstring text;
  GetPatchStatusText(onlyFailed, text);
  return text;
}

void SetDisabled(const wchar_t* value) { SetEnvironmentVariableW(L"Quillmend.DisabledPatches", value); }

}  // namespace

TEST(PatchRegistry, BeforeAnyRegistration) {
  SetDisabled(nullptr);
  EXPECT_FALSE(IsPatchRegistered(L"Compiler.Optimization"));
  EXPECT_EQ(StatusText(false), L"(no patches installed)");
  EXPECT_EQ(StatusText(true), L"(no patches installed)");
  EXPECT_FALSE(HasFailedPatches());
  EXPECT_THROW(SetPatchApplied(L"X.Y"), EQuillmendError);
}

TEST(PatchRegistry, StatusTextListsAppliedAndFailedSortedByName) {
  SetDisabled(nullptr);
  InitializePatchRegistry();
  ASSERT_TRUE(RegisterPatch(L"RTL.SystemOptimization", L"System optimizations", false));
  ASSERT_TRUE(RegisterPatch(L"compiler.b", L"Compiler B", false));
  ASSERT_TRUE(RegisterPatch(L"Compiler.A", L"Compiler A", false));
  ASSERT_TRUE(RegisterPatch(L"IDE.Ignored", L"Ignored one", false));
  SetPatchApplied(L"Compiler.A");
  SetPatchApplied(L"RTL.SYSTEMOPTIMIZATION");  // names compare without case
  SetPatchIgnored(L"IDE.Ignored");

  EXPECT_EQ(StatusText(false),
            L"applied: Compiler A [Compiler.A]\r\n"
            L"failed : Compiler B [compiler.b]\r\n"
            L"applied: System optimizations [RTL.SystemOptimization]");
  EXPECT_EQ(StatusText(true), L"failed : Compiler B [compiler.b]");
  EXPECT_TRUE(HasFailedPatches());
  EXPECT_TRUE(IsPatchRegistered(L"COMPILER.A"));

  SetPatchIgnored(L"Compiler.B");  // setting a status twice overwrites it
  EXPECT_FALSE(HasFailedPatches());
  EXPECT_EQ(StatusText(true), L"");
  FinalizePatchRegistry();
}

TEST(PatchRegistry, UnknownNameReportsTheExactMessage) {
  SetDisabled(nullptr);
  ASSERT_TRUE(RegisterPatch(L"Compiler.A", L"A", false));
  try {
    SetPatchIgnored(L"Compiler.Missing");
    FAIL() << "no exception";
  } catch (const EQuillmendError& e) {
    EXPECT_STREQ(e.what(), "Patch \"Compiler.Missing\" not registered");
  }
}

TEST(PatchRegistry, DuplicateNameIsRejectedAndNothingAdded) {
  SetDisabled(nullptr);
  ASSERT_TRUE(RegisterPatch(L"Compiler.A", L"first", false));
  EXPECT_THROW(RegisterPatch(L"COMPILER.a", L"second", false), EQuillmendError);
  EXPECT_EQ(StatusText(false), L"failed : first [Compiler.A]");
  // The lock was left despite the exception: the registry still works.
  SetPatchApplied(L"Compiler.A");
  EXPECT_FALSE(HasFailedPatches());
}

TEST(PatchRegistry, StarDisablesEverything) {
  SetDisabled(L"*");
  EXPECT_FALSE(RegisterPatch(L"Compiler.A", L"A", false));
  EXPECT_FALSE(RegisterPatch(L"bcc.stricmp", L"B", true));
  EXPECT_EQ(StatusText(false), L"");
  EXPECT_FALSE(HasFailedPatches());
  EXPECT_FALSE(IsPatchRegistered(L"Compiler.A"));
}

TEST(PatchRegistry, DisabledNamesMatchWithoutCaseAndAreReadOnce) {
  SetDisabled(L"compiler.filesearchcache;IDE.Editor.ParanMatching;;");
  EXPECT_FALSE(RegisterPatch(L"Compiler.FileSearchCache", L"FS", false));
  EXPECT_FALSE(RegisterPatch(L"ide.editor.paranmatching", L"PM", false));
  EXPECT_TRUE(RegisterPatch(L"Compiler.Other", L"Other", false));
  EXPECT_TRUE(RegisterPatch(L"", L"empty entries in the list disable nothing", false));

  SetDisabled(L"*");  // read once: a later change has no effect
  EXPECT_TRUE(RegisterPatch(L"RTL.Late", L"Late", false));
  SetDisabled(nullptr);
  EXPECT_FALSE(RegisterPatch(L"Compiler.FileSearchCache", L"FS", false));
}

TEST(PatchRegistry, StarMustBeTheWholeValue) {
  SetDisabled(L"*;Compiler.A");
  EXPECT_FALSE(RegisterPatch(L"Compiler.A", L"A", false));
  EXPECT_TRUE(RegisterPatch(L"Compiler.B", L"B", false));
}

TEST(PatchRegistry, CppCompilerPatchesAreRemovedAndCanRegisterAgain) {
  SetDisabled(nullptr);
  ASSERT_TRUE(RegisterPatch(L"bcc.stricmp", L"stricmp", true));
  ASSERT_TRUE(RegisterPatch(L"CppCompiler.Hash", L"hash", true));
  ASSERT_TRUE(RegisterPatch(L"Compiler.A", L"A", false));
  SetPatchApplied(L"bcc.stricmp");
  RemoveCppCompilerPatches();
  EXPECT_FALSE(IsPatchRegistered(L"bcc.stricmp"));
  EXPECT_FALSE(IsPatchRegistered(L"CppCompiler.Hash"));
  EXPECT_TRUE(IsPatchRegistered(L"Compiler.A"));
  EXPECT_EQ(StatusText(false), L"failed : A [Compiler.A]");
  EXPECT_TRUE(RegisterPatch(L"bcc.stricmp", L"stricmp", true));  // no duplicate error
  EXPECT_EQ(StatusText(true), L"failed : stricmp [bcc.stricmp]\r\nfailed : A [Compiler.A]");
}
