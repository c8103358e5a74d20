// "Compiler.ReleaseUnusedMemory" and ".IDE" against the stand-in compiler
// and IDE packages: three ways, the pattern once at its site, the
// compiler's committed memory after a large compile (and after the
// debuggee deleted an object) kept unpatched and given back patched, the
// compile's results unchanged, and the compiler lock left also when a
// release raises.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>
#include <windows.h>

#include "Common/HostGuard.h"
#include "Framework/PatchRegistry.h"
#include "Hooking/PatternSearch.h"
#include "Patches/Compiler/CompilerDbkReleaseUnusedMemory.h"
#include "DccStandIn.h"
#include "TestPaths.h"
#include "ThreeWayHarness.h"
#include "dcc150/DccReleaseDriver.h"
#include "delphicoreide150/CompilerLockDriver.h"

namespace {

using namespace DccReleaseDriver;

const wchar_t* const Release = L"Compiler.ReleaseUnusedMemory";
const wchar_t* const Ide = L"Compiler.ReleaseUnusedMemory.IDE";

template <class T>
T ExportOf(const wchar_t* module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(module), name)));
}

using TCompileFn = uint32_t(__stdcall*)(int32_t blocks);
using TDeletedFn = int32_t(__stdcall*)(void* object);

uint32_t IdeCompile(int32_t blocks) {
  return ExportOf<TCompileFn>(L"delphicoreide150.bpl", "DelphiCoreCompile")(blocks);
}
int32_t ObjectDeleted() { return ExportOf<TDeletedFn>(L"dbkdebugide150.bpl", "DbgIdeObjectDeleted")(nullptr); }
int32_t Committed() { return DccExport<CommittedFn>(Export::Committed)(); }

std::string Exercise() {
  DccExport<ResetFn>(Export::Reset)();
  std::string trace;
  for (int32_t blocks : {10, 300, 70}) trace += std::to_string(IdeCompile(blocks)) + " ";
  return trace + std::to_string(DccExport<CompileFn>(Export::Compile)(20));
}

const std::vector<TPatchRow> PatchRows = {{Release, {}}, {Ide, {}, Release}};
const std::vector<TVariantRow> VariantRows = {
    {"release", {Release}, nullptr, {Ide}},
    {"nocompilercompile", {Ide}},
    {"noprocobjectdeleted", {Ide}},
};

const TThreeWaySubsystem& Memory() {
  static const TThreeWaySubsystem subsystem{
      {L"rtl150.bpl", L"coreide150.bpl", L"delphicoreide150.bpl", L"dbkdebugide150.bpl", L"dcc150.dll"},
      nullptr,
      [] { Quillmend::InstallCompilerDbkReleaseUnusedMemory(); },
      &Exercise,
      {Release, Ide},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(ReleaseUnusedMemory, Memory(), PatchRows, VariantRows)

class ReleaseUnusedMemoryBehaviour : public testing::Test {
protected:
  void SetUp() override {
    for (const wchar_t* file : {L"rtl150.bpl", L"coreide150.bpl", L"delphicoreide150.bpl", L"dbkdebugide150.bpl",
                                L"dcc150.dll"})
      ASSERT_NE(LoadLibraryW((BuildDirectory() + L"\\host\\" + file).c_str()), nullptr);
    SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
    DccExport<ResetFn>(Export::Reset)();
  }
  static void Install() {
    Quillmend::InstallCompilerDbkReleaseUnusedMemory();
    ASSERT_TRUE(Quillmend::IsPatchApplied(Release));
    ASSERT_TRUE(Quillmend::IsPatchApplied(Ide));
  }
};

} // namespace

TEST_F(ReleaseUnusedMemoryBehaviour, ThePatternIsFoundOnceAtItsSite) {
  const Quillmend::TBytePattern pattern = Quillmend::ParsePattern(Quillmend::ReleaseUnusedMemoryPatterns::Release);
  auto* found = static_cast<uint8_t*>(Quillmend::FindMethodPtr(GetModuleHandleW(L"dcc150.dll"), pattern, 0x10000));
  EXPECT_EQ(found, DccExport<uint8_t*>(Export::Release));
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(Quillmend::FindMethodPtr(found + 1, pattern, 0), nullptr);
}

// Compiles of a few sizes: the committed memory afterwards, the results.
TEST_F(ReleaseUnusedMemoryBehaviour, CompilesGiveTheirMemoryBack) {
  const int32_t sizes[] = {5, 65, 66, 650, 6500};  // within one chunk, one full, two, ten, a hundred
  std::vector<uint32_t> host;
  for (int32_t blocks : sizes) {
    SCOPED_TRACE(blocks);
    DccExport<ResetFn>(Export::Reset)();
    host.push_back(IdeCompile(blocks));
    EXPECT_EQ(Committed(), (blocks + 64) / 65 * ChunkSize);  // kept: 65 blocks a chunk
  }
  Install();
  for (size_t i = 0; i < std::size(sizes); ++i) {
    SCOPED_TRACE(sizes[i]);
    DccExport<ResetFn>(Export::Reset)();
    EXPECT_EQ(IdeCompile(sizes[i]), host[i]);
    EXPECT_EQ(Committed(), 0);
    EXPECT_EQ(DccExport<ReleasesFn>(Export::Releases)(), (sizes[i] + 64) / 65);
  }
}

// The compiler's memory grown by itself (not through the IDE's compile):
// given back once the debuggee deleted an object.
TEST_F(ReleaseUnusedMemoryBehaviour, AnObjectDeletedGivesItBackToo) {
  DccExport<CompileFn>(Export::Compile)(300);
  const int32_t grown = Committed();
  EXPECT_GT(grown, 0);
  const int32_t deletedBefore = ObjectDeleted();
  EXPECT_EQ(Committed(), grown);
  Install();
  EXPECT_EQ(ObjectDeleted(), deletedBefore + 1);
  EXPECT_EQ(Committed(), 0);
}

// A release that raises: the exception reaches the IDE's caller, the
// compiler lock is left all the same, and the next compile releases.
TEST_F(ReleaseUnusedMemoryBehaviour, TheLockIsLeftWhenAReleaseRaises) {
  Install();
  auto lockState = ExportOf<CompilerLockDriver::LockStateFn>(L"delphicoreide150.bpl", CompilerLockDriver::Export::LockState);
  DccExport<RaiseOnReleaseFn>(Export::RaiseOnRelease)(2);
  QmHost::HostExceptionReport report;
  EXPECT_FALSE(QmHost::CallHostGuarded([] { IdeCompile(200); }, report));
  EXPECT_EQ(report.code, 0x0EEDFADEu);
  int32_t levels = -1;
  EXPECT_EQ(lockState(&levels), 0u);
  EXPECT_EQ(levels, 0);
  EXPECT_EQ(DccExport<ReleasesFn>(Export::Releases)(), 1);
  EXPECT_EQ(Committed(), 3 * ChunkSize);  // four chunks, the first given back
  IdeCompile(1);
  EXPECT_EQ(Committed(), 0);
}
