// The queues of installation procedures and the interception of the C++
// compiler load, run in-process (no IDE); the end-to-end tests cover the
// rest of the entry.
#include "Framework/HostAbi.h"
#include "Framework/LibraryEntry.h"
#include "Hooking/EngineError.h"
#include "TestPaths.h"

#include <algorithm>
#include <cstring>
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

// The C++ compiler load, in process: the stand-in bccide.dll is loaded
// before the expert entry, so the entry intercepts its CppLoadCompiler.
namespace {

int g_cppInits = 0;
void CountCppInit() { ++g_cppInits; }

using TCppLoadCompiler = int32_t(__stdcall*)(int32_t action, uint32_t flag);

struct TInterceptedBccide {
  HMODULE Module = LoadLibraryW((BuildDirectory() + L"\\host\\bccide.dll").c_str());
  TCppLoadCompiler Entry = reinterpret_cast<TCppLoadCompiler>(
      Module ? reinterpret_cast<void*>(GetProcAddress(Module, "CppLoadCompiler")) : nullptr);
  TInterceptedBccide() {
    g_cppInits = 0;
    AddCppCompilerInitProc(CountCppInit);
    if (Module) RunWizardInitProcs();  // the compiler is not loaded yet: nothing runs
  }
};

}  // namespace

TEST(CppCompilerLoad, ProceduresRunWhenTheHostReadsTheFlagAsTrue) {
  TInterceptedBccide bccide;
  ASSERT_NE(bccide.Entry, nullptr);
  ASSERT_EQ(g_cppInits, 0);
  ASSERT_NE(LoadLibraryW((BuildDirectory() + L"\\host\\comp32x.dll").c_str()), nullptr);
  // The flag is a Boolean in a 32-bit slot: the host reads its low byte only.
  const struct {
    int32_t Action;
    uint32_t Flag;
    int32_t Result;
    int RunsAfter;
  } steps[] = {
      {1, 1, 1, 1},           // true: the procedures run
      {1, 0x100, 1, 1},       // false to the host, the compiler was loaded: nothing runs
      {1, 0xFFFFFF00, 1, 1},  //
      {1, 0, 1, 1},           //
      {7, 1, 7, 1},           // other actions pass through untouched
      {1, 0x101, 1, 2},       // true again: they run again
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(testing::Message() << "CppLoadCompiler(" << s.Action << ", 0x" << std::hex << s.Flag << ")");
    EXPECT_EQ(bccide.Entry(s.Action, s.Flag), s.Result);
    EXPECT_EQ(g_cppInits, s.RunsAfter);
  }
}

TEST(CppCompilerLoad, FinalizationLeavesTheCodeOfAnUnloadedBccideAlone) {
  TInterceptedBccide bccide;
  ASSERT_NE(bccide.Entry, nullptr);
  const auto entry = reinterpret_cast<uintptr_t>(bccide.Entry);
  while (FreeLibrary(bccide.Module)) {
  }
  ASSERT_EQ(GetModuleHandleW(L"bccide.dll"), nullptr);
  // Memory of our own where the entry was: finalizing must not write into it.
  const uintptr_t base = entry & ~uintptr_t(0xFFFF), end = (entry & ~uintptr_t(0xFFF)) + 0x1000;
  auto* block = static_cast<uint8_t*>(
      VirtualAlloc(reinterpret_cast<void*>(base), end - base, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE));
  ASSERT_EQ(reinterpret_cast<uintptr_t>(block), base) << "the unloaded module's addresses are taken";
  std::memset(block, 0xA5, end - base);

  LibraryEntryUnit.Finalize();
  EXPECT_EQ(std::count(block, block + (end - base), 0xA5), static_cast<std::ptrdiff_t>(end - base));
  VirtualFree(block, 0, MEM_RELEASE);
}

namespace {
void* g_servicesSeen = nullptr;
void SeeServices() { g_servicesSeen = BorlandIDEServices; }
}  // namespace

// Wizard-init procedures reach the IDE's services through BorlandIDEServices.
TEST(InitQueues, WizardProcsSeeTheServicesOfTheExpertEntry) {
  // Services answering nothing but IUnknown (no about box: no entry is added).
  static const void* const methods[] = {QM_HOST_OBJECT_IUNKNOWN};
  THostObject services{methods, 1, nullptr, 0, nullptr};
  AddWizardInitProc(SeeServices);
  void* terminate = nullptr;
  EXPECT_TRUE(WizardEntry(&services, nullptr, &terminate));
  EXPECT_EQ(g_servicesSeen, &services);
  EXPECT_EQ(BorlandIDEServices, &services);
}
