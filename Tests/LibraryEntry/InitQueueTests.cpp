// The queues of installation procedures, run in-process (no IDE); the
// end-to-end tests cover the rest of the entry and the compiler load.
#include "Framework/LibraryEntry.h"
#include "Hooking/EngineError.h"
#include "TestPaths.h"

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
void CppPatch() { g_ran.push_back("cpp"); }

using Ran = std::vector<std::string>;

}  // namespace

TEST(InitQueues, WizardProcsRunInQueueOrderUntilOneRaisesAndNeverTwice) {
  g_ran.clear();
  AddWizardInitProc(First);
  AddWizardInitProc(Second);
  AddWizardInitProc(Raises);
  AddWizardInitProc(First);
  EXPECT_FALSE(IsWizardInitialized());
  EXPECT_THROW(RunWizardInitProcs(), EQuillmendError);
  EXPECT_TRUE(IsWizardInitialized());
  RunWizardInitProcs();  // the queue is gone after the first run, even a failed one
  EXPECT_EQ(g_ran, (Ran{"first", "second", "raises"}));
}

TEST(InitQueues, BccideWithoutCppLoadCompilerIsAnError) {
  HMODULE probe = LoadLibraryW((ProgramDirectory() + L"\\LibraryEntryFixtures\\bccide.dll").c_str());
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
