// "ErrorInsight.LockCurrentDir" against the stand-in IDE packages in this
// process, with coreide150.bpl's real parser thread: three ways (applied,
// disabled, builds whose Lock or UnLock begin otherwise), the main thread's
// compiler lock while the parser changes the current directory, the parser's
// lock taken while the parser waits in Synchronize, and a Lock that raises.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <windows.h>

#include "Common/HostGuard.h"
#include "Common/HostRtl.h"
#include "Patches/Compiler/ErrorInsightUnitResolveFix.h"
#include "TestPaths.h"
#include "ThreeWayHarness.h"
#include "coreide150/ParserThreadDriver.h"
#include "delphicoreide150/CompilerLockDriver.h"
#include "rtl150/RtlThreadsDriver.h"

namespace {

const wchar_t* const LockCurrentDir = L"ErrorInsight.LockCurrentDir";

template <class Fn>
Fn Export(const wchar_t* module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(module), name)));
}

struct TIde {
  CompilerLockDriver::LockFn Lock;
  CompilerLockDriver::UnLockFn UnLock;
  ParserThreadDriver::MethodFn ParserLock, ParserUnlock;
  ParserThreadDriver::PostFn Post;
  ParserThreadDriver::WaitIdleFn WaitIdle;
  void* Parser;
};

TIde Bind() {
  using namespace ParserThreadDriver;
  const wchar_t* core = L"coreide150.bpl";
  TIde ide{Export<CompilerLockDriver::LockFn>(L"delphicoreide150.bpl", "Lock"),
           Export<CompilerLockDriver::UnLockFn>(L"delphicoreide150.bpl", "UnLock"),
           Export<MethodFn>(core, Export::Lock),
           Export<MethodFn>(core, Export::Unlock),
           Export<PostFn>(core, Export::Post),
           Export<WaitIdleFn>(core, Export::WaitIdle),
           Export<StartFn>(core, Export::Start)()};
  Export<SetLockWaitFn>(core, Export::SetLockWait)(1500);
  return ide;
}

std::wstring CurrentDirectory() {
  wchar_t path[MAX_PATH];
  return std::wstring(path, GetCurrentDirectoryW(MAX_PATH, path));
}

struct TParserWork {
  TIde* Ide;
  std::wstring Directory;
  HANDLE Locked;
};

// The parser compiles: the compiler lock, its own directory, a while, unlock.
void __stdcall CompileElsewhere(void* data) {
  auto* work = static_cast<TParserWork*>(data);
  work->Ide->Lock();
  SetCurrentDirectoryW(work->Directory.c_str());
  SetEvent(work->Locked);
  Sleep(300);
  work->Ide->UnLock();
}

// What the lock does for one thread, nested, with the parser working meanwhile.
std::string Exercise() {
  TIde ide = Bind();
  std::string trace;
  const std::wstring start = CurrentDirectory();
  TParserWork work{&ide, BuildDirectory(), CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  ide.Post(&CompileElsewhere, &work);
  WaitForSingleObject(work.Locked, 5000);
  ide.Lock();
  ide.Lock();
  int32_t levels = 0;
  Export<CompilerLockDriver::LockStateFn>(L"delphicoreide150.bpl", "DelphiCoreLockState")(&levels);
  trace += "locked " + std::to_string(levels > 0) + " unlock " + std::to_string(ide.UnLock() >= 0);
  trace += " " + std::to_string(ide.UnLock());
  ide.WaitIdle(5000);
  SetCurrentDirectoryW(start.c_str());
  CloseHandle(work.Locked);
  return trace;
}

const std::vector<TPatchRow> PatchRows = {{LockCurrentDir, {}}};
const std::vector<TVariantRow> VariantRows = {{"lockentry", {LockCurrentDir}}, {"unlockentry", {LockCurrentDir}}};

const TThreeWaySubsystem& IdeLock() {
  static const TThreeWaySubsystem subsystem{
      {L"rtl150.bpl", L"coreide150.bpl", L"delphicoreide150.bpl"},
      nullptr,
      [] { Quillmend::InstallErrorInsightUnitResolveFix(); },
      &Exercise,
      {LockCurrentDir},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(LockCurrentDir, IdeLock(), PatchRows, VariantRows)

class LockCurrentDirBehaviour : public testing::TestWithParam<bool> {
protected:
  void SetUp() override {
    for (const wchar_t* file : {L"rtl150.bpl", L"coreide150.bpl", L"delphicoreide150.bpl"})
      ASSERT_NE(LoadLibraryW((BuildDirectory() + L"\\host\\" + file).c_str()), nullptr);
    Ide = Bind();
    SetEnvironmentVariableW(L"Quillmend.DisabledPatches", GetParam() ? L"" : LockCurrentDir);
    Quillmend::InstallErrorInsightUnitResolveFix();
    Start = CurrentDirectory();
  }
  void TearDown() override { SetCurrentDirectoryW(Start.c_str()); }
  TIde Ide;
  std::wstring Start;
};

} // namespace

// The main thread waits for the compiler lock while a background compile
// holding it moves to its own directory: the patched lock gives the main
// thread back its own.
TEST_P(LockCurrentDirBehaviour, TheMainThreadKeepsItsDirectory) {
  const std::wstring compileDirectory = BuildDirectory();
  ASSERT_NE(compileDirectory, Start);
  HANDLE locked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread compile([&] {
    Ide.Lock();
    SetEvent(locked);
    Sleep(300);
    SetCurrentDirectoryW(compileDirectory.c_str());
    Ide.UnLock();
  });
  ASSERT_EQ(WaitForSingleObject(locked, 5000), WAIT_OBJECT_0);
  Ide.Lock();
  EXPECT_EQ(CurrentDirectory(), GetParam() ? Start : compileDirectory);
  EXPECT_EQ(Ide.UnLock(), 1);
  compile.join();
  CloseHandle(locked);
}

namespace {

volatile LONG g_synchronized = 0;
void QM_HOST_REGISTER Synchronized(void*) { InterlockedIncrement(&g_synchronized); }

// The parser, holding its lock, hands the main thread a method and waits.
void __stdcall SynchronizeWithMain(void*) {
  HMODULE rtl = GetModuleHandleW(L"rtl150.bpl");
  const RtlThreadsDriver::TMethod method = {&Synchronized, nullptr};
  Export<RtlThreadsDriver::SynchronizeFn>(L"rtl150.bpl", RtlThreadsDriver::Export::Synchronize)(nullptr, nullptr,
                                                                                                 &method);
  (void)rtl;
}

} // namespace

// The main thread takes the parser's lock while the parser waits for it in
// Synchronize: the host's lock gives up after its wait (the deadlock), the
// patched one runs the synchronisation meanwhile and gets the lock.
TEST_P(LockCurrentDirBehaviour, TheParsersLockIsTakenWhileItSynchronizes) {
  g_synchronized = 0;
  auto syncEvent = Export<HANDLE*>(L"rtl150.bpl", RtlThreadsDriver::Export::SyncEvent);
  Ide.Post(&SynchronizeWithMain, nullptr);
  for (int i = 0; i < 500 && WaitForSingleObject(*syncEvent, 0) != WAIT_OBJECT_0; ++i) Sleep(10);
  auto timeouts = Export<ParserThreadDriver::LockTimeoutsFn>(L"coreide150.bpl", ParserThreadDriver::Export::LockTimeouts);
  Ide.ParserLock(Ide.Parser);
  EXPECT_EQ(timeouts(), GetParam() ? 0u : 1u);
  EXPECT_EQ(g_synchronized, GetParam() ? 1 : 0);
  Export<RtlThreadsDriver::CheckSynchronizeFn>(L"rtl150.bpl", RtlThreadsDriver::Export::CheckSynchronize)(1000);
  EXPECT_EQ(g_synchronized, 1);
  Ide.ParserUnlock(Ide.Parser);
  EXPECT_TRUE(Ide.WaitIdle(5000));
}

// The host's Lock raises: the patched lock undoes its level, the parser's
// lock and the directory, so the next Lock takes the host's lock again.
class LockCurrentDirRaise : public LockCurrentDirBehaviour {};

TEST_P(LockCurrentDirRaise, ALockThatRaisesLeavesNothingBehind) {
  Export<CompilerLockDriver::RaiseOnNextLockFn>(L"delphicoreide150.bpl", CompilerLockDriver::Export::RaiseOnNextLock)();
  QmHost::HostExceptionReport report;
  EXPECT_FALSE(QmHost::CallHostGuarded([&] { Ide.Lock(); }, report, QmHost::LoadedHostRtl()));
  EXPECT_EQ(report.message, L"Compiler lock not available");
  EXPECT_EQ(Quillmend::CompilerLockNesting(), 0);
  const auto* parser = static_cast<const uint8_t*>(Ide.Parser);
  EXPECT_EQ(*reinterpret_cast<const int32_t*>(parser + ParserThreadDriver::Layout::LockCount), 0);
  EXPECT_EQ(Export<ParserThreadDriver::CanceledFn>(L"coreide150.bpl", ParserThreadDriver::Export::Canceled)(), 0);
  EXPECT_EQ(CurrentDirectory(), Start);
  Ide.Lock();
  int32_t levels = 0;
  EXPECT_EQ(Export<CompilerLockDriver::LockStateFn>(L"delphicoreide150.bpl", "DelphiCoreLockState")(&levels),
            GetCurrentThreadId());
  EXPECT_EQ(Ide.UnLock(), 1);
}

INSTANTIATE_TEST_SUITE_P(LockCurrentDir, LockCurrentDirBehaviour, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Patched" : "Unpatched"; });
INSTANTIATE_TEST_SUITE_P(LockCurrentDir, LockCurrentDirRaise, testing::Values(true),
                         [](const testing::TestParamInfo<bool>&) { return "Patched"; });
