// The queues of installation procedures, run in-process (no IDE): the
// stand-in IDE's end-to-end tests cover the entry point and the compiler load.
#include "Framework/LibraryEntry.h"
#include "Framework/PatchRegistry.h"
#include "Hooking/EngineError.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <windows.h>

using namespace Quillmend;

namespace {

std::vector<std::string> g_ran;

void First() { g_ran.push_back("first"); }
void Second() { g_ran.push_back("second"); }
void Raises() {
  g_ran.push_back("raises");
  RaiseError("procedure failed");
}
void CppPatch() {
  g_ran.push_back("cpp");
  if (RegisterPatch(L"CppCompiler.Queued", L"queued C++ patch", true)) SetPatchApplied(L"CppCompiler.Queued");
}

std::wstring StatusText() {
  std::wstring text;
  GetPatchStatusText(false, text);
  return text;
}

using Ran = std::vector<std::string>;

}  // namespace

TEST(InitQueues, WizardProcsRunOnceInQueueOrder) {
  g_ran.clear();
  AddWizardInitProc(First);
  AddWizardInitProc(Second);
  EXPECT_FALSE(IsWizardInitialized());
  RunWizardInitProcs();
  EXPECT_TRUE(IsWizardInitialized());
  RunWizardInitProcs();  // the queue is gone after the first run
  EXPECT_EQ(g_ran, (Ran{"first", "second"}));
}

TEST(InitQueues, ARaisingWizardProcEndsTheRunAndNothingRunsTwice) {
  g_ran.clear();
  AddWizardInitProc(First);
  AddWizardInitProc(Raises);
  AddWizardInitProc(Second);
  EXPECT_THROW(RunWizardInitProcs(), EQuillmendError);
  EXPECT_TRUE(IsWizardInitialized());
  RunWizardInitProcs();
  EXPECT_EQ(g_ran, (Ran{"first", "raises"}));
}

TEST(InitQueues, CppProcsWaitForBccide) {
  g_ran.clear();
  ASSERT_EQ(GetModuleHandleW(L"bccide.dll"), nullptr);
  AddCppCompilerInitProc(CppPatch);
  RunWizardInitProcs();
  EXPECT_TRUE(g_ran.empty());
  EXPECT_EQ(StatusText(), L"(no patches installed)");
}

TEST(InitQueues, BccideWithoutCppLoadCompilerIsAnError) {
  wchar_t path[MAX_PATH];
  std::wstring exe(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  HMODULE probe = LoadLibraryW((exe.substr(0, exe.find_last_of(L"\\/")) + L"\\LibraryEntryFixtures\\bccide.dll").c_str());
  ASSERT_NE(probe, nullptr);
  AddCppCompilerInitProc(CppPatch);
  try {
    RunWizardInitProcs();
    FAIL() << "no exception";
  } catch (const EQuillmendError& e) {
    EXPECT_STREQ(e.what(), "External symbol \"CppLoadCompiler\" not found in module \"bccide.dll\"");
  }
  FreeLibrary(probe);
}

TEST(InitQueues, CppProcsReRegisterTheirPatchesOnEveryRun) {
  g_ran.clear();
  ASSERT_TRUE(RegisterPatch(L"IDE.Kept", L"not a C++ patch", false));
  AddCppCompilerInitProc(CppPatch);
  RunCppCompilerInitProcs();
  RunCppCompilerInitProcs();  // no duplicate-name error: the old entry was dropped first
  EXPECT_EQ(g_ran, (Ran{"cpp", "cpp"}));
  EXPECT_EQ(StatusText(), L"applied: queued C++ patch [CppCompiler.Queued]\r\nfailed : not a C++ patch [IDE.Kept]");
}
