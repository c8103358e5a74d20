// The change-directory notifier on kernel32 in this process: the hooked
// functions behave as the originals, every change of the current directory
// (wide, ANSI, msvcrt's _wchdir, other threads, failed calls) reaches the one
// notifier once, registrations chain and unwind in reverse order, and the
// removal puts kernel32's bytes back.
#include <gtest/gtest.h>

#include <direct.h>
#include <string>
#include <thread>
#include <vector>
#include <windows.h>

#include "Framework/ChangeDirectoryNotify.h"
#include "Hooking/CodeRedirect.h"
#include "TestPaths.h"

using namespace Quillmend;

namespace {

int g_first = 0, g_second = 0;
TChangeDirectoryNotifyProc g_beforeSecond = nullptr;
DWORD g_errorSeen = 0;

void QM_REGISTER First() {
  ++g_first;
  g_errorSeen = GetLastError();
}
// Chains to what it replaced, as a registrant should.
void QM_REGISTER Second() {
  ++g_second;
  if (g_beforeSecond) g_beforeSecond();
}

std::vector<uint8_t> EntryBytes(const char* name) {
  auto* entry = static_cast<uint8_t*>(
      GetActualAddr(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name))));
  return std::vector<uint8_t>(entry - 5, entry + 8);
}

std::wstring CurrentDirectory() {
  wchar_t path[MAX_PATH];
  return std::wstring(path, GetCurrentDirectoryW(MAX_PATH, path));
}

class ChangeDirectoryNotify : public testing::Test {
protected:
  void SetUp() override {
    Start = CurrentDirectory();
    BytesW = EntryBytes("SetCurrentDirectoryW");
    BytesA = EntryBytes("SetCurrentDirectoryA");
    InstallChangeDirectoryNotify();
    g_first = g_second = 0;
  }
  void TearDown() override {
    UnregisterChangeDirectoryNotifier(nullptr);
    SetCurrentDirectoryW(Start.c_str());
    RemoveChangeDirectoryNotify();
    EXPECT_EQ(EntryBytes("SetCurrentDirectoryW"), BytesW);
    EXPECT_EQ(EntryBytes("SetCurrentDirectoryA"), BytesA);
  }
  std::wstring Start;
  std::vector<uint8_t> BytesW, BytesA;
};

} // namespace

TEST_F(ChangeDirectoryNotify, AnEmptySlotBehavesAsTheOriginals) {
  EXPECT_NE(EntryBytes("SetCurrentDirectoryW"), BytesW);
  const std::wstring build = BuildDirectory();
  EXPECT_TRUE(SetCurrentDirectoryW(build.c_str()));
  EXPECT_EQ(CurrentDirectory(), build);
  SetLastError(0);
  EXPECT_FALSE(SetCurrentDirectoryW(L"C:\\no\\such\\directory"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(SetCurrentDirectoryA("C:\\no\\such\\directory"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(CurrentDirectory(), build);
}

TEST_F(ChangeDirectoryNotify, EveryChangeReachesTheNotifierOnce) {
  EXPECT_EQ(RegisterChangeDirectoryNotifier(&First), nullptr);
  const std::wstring build = BuildDirectory();
  EXPECT_TRUE(SetCurrentDirectoryW(build.c_str()));
  EXPECT_EQ(g_first, 1);
  EXPECT_TRUE(SetCurrentDirectoryA(".."));
  EXPECT_EQ(g_first, 2);
  // A failing call still notifies; the caller sees the original's last error.
  SetLastError(0);
  EXPECT_FALSE(SetCurrentDirectoryW(L"C:\\no\\such\\directory"));
  EXPECT_EQ(g_first, 3);
  EXPECT_EQ(g_errorSeen, DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  // The C library's change and another thread's.
  EXPECT_EQ(_wchdir(build.c_str()), 0);
  EXPECT_EQ(g_first, 4);
  std::thread([] { SetCurrentDirectoryW(L"C:\\"); }).join();
  EXPECT_EQ(g_first, 5);
  EXPECT_EQ(CurrentDirectory(), L"C:\\");
}

TEST_F(ChangeDirectoryNotify, RegistrationsChainAndUnwindInReverse) {
  EXPECT_EQ(RegisterChangeDirectoryNotifier(&First), nullptr);
  g_beforeSecond = RegisterChangeDirectoryNotifier(&Second);
  EXPECT_EQ(g_beforeSecond, &First);
  SetCurrentDirectoryW(L"C:\\");
  EXPECT_EQ(g_second, 1);
  EXPECT_EQ(g_first, 1);
  UnregisterChangeDirectoryNotifier(g_beforeSecond);
  SetCurrentDirectoryW(L"C:\\");
  EXPECT_EQ(g_second, 1);
  EXPECT_EQ(g_first, 2);
  UnregisterChangeDirectoryNotifier(nullptr);
  SetCurrentDirectoryW(L"C:\\");
  EXPECT_EQ(g_first, 2);
  EXPECT_EQ(RegisterChangeDirectoryNotifier(nullptr), nullptr);
}

// The library exports both, under their exact names.
TEST(ChangeDirectoryNotifyExports, TheShippedLibraryExportsBoth) {
  HMODULE library = LoadLibraryExW((BuildDirectory() + L"\\out\\Quillmend.dll").c_str(), nullptr,
                                   DONT_RESOLVE_DLL_REFERENCES);
  ASSERT_NE(library, nullptr);
  EXPECT_NE(GetProcAddress(library, "RegisterChangeDirectoryNotifier"), nullptr);
  EXPECT_NE(GetProcAddress(library, "UnregisterChangeDirectoryNotifier"), nullptr);
  FreeLibrary(library);
}

// Not a named patch: "*" in "Quillmend.DisabledPatches" leaves it on.
TEST(ChangeDirectoryNotifyDisabling, EveryPatchDisabledLeavesTheNotifierOn) {
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"*");
  const std::vector<uint8_t> before = EntryBytes("SetCurrentDirectoryW");
  InstallChangeDirectoryNotify();
  EXPECT_TRUE(ChangeDirectoryNotifyInstalled());
  EXPECT_NE(EntryBytes("SetCurrentDirectoryW"), before);
  RegisterChangeDirectoryNotifier(&First);
  g_first = 0;
  SetCurrentDirectoryW(BuildDirectory().c_str());
  EXPECT_EQ(g_first, 1);
  UnregisterChangeDirectoryNotifier(nullptr);
  RemoveChangeDirectoryNotify();
  EXPECT_EQ(EntryBytes("SetCurrentDirectoryW"), before);
}
