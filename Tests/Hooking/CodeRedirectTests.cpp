// Code redirection on real functions of this program: redirect, call,
// restore, call again.
#include "Fixtures.h"
#include "Hooking/CodeRedirect.h"

#include <gtest/gtest.h>

using namespace Quillmend;

namespace {

extern "C" int ReturnsTwo() { return 2; }
extern "C" int ReturnsThirty() { return 30; }

TRedirectCode Fresh() {
  TRedirectCode data;
  std::memset(&data, 0, sizeof data);
  return data;
}

} // namespace

TEST(CodeRedirect, RedirectsSavesEightBytesAndRestores) {
  void* proc = CodeOf(Fixture_ReturnsOne);
  const std::vector<uint8_t> original = BytesAt(proc, 8);
  ASSERT_EQ(original, (std::vector<uint8_t>{0xB8, 0x01, 0x00, 0x00, 0x00, 0xC3, 0xCC, 0xCC}));

  TRedirectCode data = Fresh();
  CodeRedirect(proc, CodeOf(ReturnsTwo), data);
  EXPECT_EQ(data.RealProc, proc);
  EXPECT_EQ(data.Count, 1);
  EXPECT_EQ(BytesAt(&data.Code2, 8), original);
  EXPECT_EQ(data.Code.Jump, 0xB8);
  EXPECT_EQ(data.Code.Offset, 1);
  EXPECT_EQ(BytesAt(proc, 1)[0], 0xE9);
  EXPECT_EQ(Rel32Target(proc), CodeOf(ReturnsTwo));
  EXPECT_EQ(BytesAt(static_cast<uint8_t*>(proc) + 5, 3), (std::vector<uint8_t>{0xC3, 0xCC, 0xCC}));
  EXPECT_EQ(Fixture_ReturnsOne(), 2);

  CodeRestore(data);
  EXPECT_EQ(data.Count, 0);
  EXPECT_EQ(BytesAt(proc, 8), original);
  EXPECT_EQ(Fixture_ReturnsOne(), 1);
}

TEST(CodeRedirect, SecondRedirectOnlyCountsAndTheSecondRestoreWritesBack) {
  void* proc = CodeOf(Fixture_ReturnsOne);
  const std::vector<uint8_t> original = BytesAt(proc, 8);
  TRedirectCode data = Fresh();
  CodeRedirect(proc, CodeOf(ReturnsTwo), data);
  CodeRedirect(proc, CodeOf(ReturnsThirty), data);
  EXPECT_EQ(data.Count, 2);
  EXPECT_EQ(Fixture_ReturnsOne(), 2);  // the first target stays in force
  EXPECT_EQ(BytesAt(&data.Code2, 8), original);

  CodeRestore(data);
  EXPECT_EQ(data.Count, 1);
  EXPECT_EQ(Fixture_ReturnsOne(), 2);
  CodeRestore(data);
  EXPECT_EQ(data.Count, 0);
  EXPECT_EQ(BytesAt(proc, 8), original);
  EXPECT_EQ(Fixture_ReturnsOne(), 1);

  CodeRestore(data);  // unpaired restore: counts below zero, writes nothing
  EXPECT_EQ(data.Count, -1);
  EXPECT_EQ(BytesAt(proc, 8), original);
}

TEST(CodeRedirect, UnhookCallRehookPattern) {
  TRedirectCode data = CodeRedirect(CodeOf(Fixture_ReturnsOne), CodeOf(ReturnsTwo));
  EXPECT_EQ(data.Count, 1);
  EXPECT_EQ(Fixture_ReturnsOne(), 2);
  UnhookFunction(data);
  EXPECT_EQ(data.Count, 0);
  EXPECT_EQ(Fixture_ReturnsOne(), 1);
  RehookFunction(CodeOf(ReturnsThirty), data);
  EXPECT_EQ(data.Count, 1);
  EXPECT_EQ(data.RealProc, CodeOf(Fixture_ReturnsOne));
  EXPECT_EQ(Fixture_ReturnsOne(), 30);
  CodeRestore(data);
  EXPECT_EQ(Fixture_ReturnsOne(), 1);
}

TEST(CodeRedirect, NullProcLeavesTheCountAndClearsRealProc) {
  TRedirectCode data = Fresh();
  data.RealProc = CodeOf(Fixture_ReturnsOne);
  data.Count = 3;
  CodeRedirect(nullptr, CodeOf(ReturnsTwo), data);
  EXPECT_EQ(data.RealProc, nullptr);
  EXPECT_EQ(data.Count, 3);

  TRedirectCode fresh = CodeRedirect(nullptr, CodeOf(ReturnsTwo));
  EXPECT_EQ(fresh.RealProc, nullptr);
  EXPECT_EQ(fresh.Count, 0);
  EXPECT_EQ(Fixture_ReturnsOne(), 1);
}

TEST(CodeRedirect, ImportThunkIsResolvedAndItsTargetRewritten) {
  void* thunk = CodeOf(Fixture_Thunk);
  const std::vector<uint8_t> thunkBytes = BytesAt(thunk, 6);
  EXPECT_EQ(GetActualAddr(thunk), CodeOf(Fixture_ThunkTarget));

  TRedirectCode data = Fresh();
  CodeRedirect(thunk, CodeOf(ReturnsTwo), data);
  EXPECT_EQ(data.RealProc, CodeOf(Fixture_ThunkTarget));
  EXPECT_EQ(BytesAt(thunk, 6), thunkBytes);
  EXPECT_EQ(Fixture_ThunkSlot, CodeOf(Fixture_ThunkTarget));
  EXPECT_EQ(Fixture_Thunk(), 2);
  EXPECT_EQ(Fixture_ThunkTarget(), 2);
  CodeRestore(data);
  EXPECT_EQ(Fixture_Thunk(), 3);
}

TEST(CodeRedirect, GetActualAddrSteps) {
  EXPECT_EQ(GetActualAddr(nullptr), nullptr);
  // The push/jmp stub belongs to the old non-NT systems; on the NT family it
  // is ordinary code and stays where it is.
  EXPECT_EQ(GetActualAddr(Fixture_PushJmpStub), Fixture_PushJmpStub);
  // One step only: the target of a thunk is not resolved again.
  uint8_t secondThunk[6] = {0xFF, 0x25};
  void* slot = CodeOf(Fixture_Thunk);
  void* slotAddress = &slot;
  std::memcpy(secondThunk + 2, &slotAddress, 4);
  EXPECT_EQ(GetActualAddr(secondThunk), CodeOf(Fixture_Thunk));
}

TEST(CodeRedirect, HookFunctionFindsExportsByName) {
  const HMODULE self = GetModuleHandleW(nullptr);
  TRedirectCode data = Fresh();
  HookFunction(self, L"Fixture_Exported", CodeOf(ReturnsTwo), data);
  EXPECT_EQ(data.RealProc, CodeOf(Fixture_Exported));
  EXPECT_EQ(Fixture_Exported(), 2);
  CodeRestore(data);
  EXPECT_EQ(Fixture_Exported(), 4);

  HookFunction(L"HookingCoreTests.exe", L"Fixture_Exported", CodeOf(ReturnsThirty), data);
  EXPECT_EQ(Fixture_Exported(), 30);
  CodeRestore(data);
  EXPECT_EQ(Fixture_Exported(), 4);

  TRedirectCode missing = Fresh();
  HookFunction(self, L"NoSuchExport", CodeOf(ReturnsTwo), missing);
  EXPECT_EQ(missing.RealProc, nullptr);
  EXPECT_EQ(missing.Count, 0);
}

// A module that is not loaded must not fall back to the program's own
// exports (GetProcAddress treats a null module as the program).
TEST(CodeRedirect, HookFunctionInAModuleNotLoadedHooksNothing) {
  TRedirectCode data = Fresh();
  HookFunction(L"NotLoaded.dll", L"Fixture_Exported", CodeOf(ReturnsTwo), data);
  EXPECT_EQ(data.RealProc, nullptr);
  EXPECT_EQ(data.Count, 0);
  EXPECT_EQ(Fixture_Exported(), 4);
}

TEST(CodeRedirect, InjectCodeWritesThroughThunksAndChecksTheCount) {
  EXPECT_TRUE(InjectCode(CodeOf(Fixture_ThunkTarget), "", 0));
  EXPECT_FALSE(InjectCode(nullptr, "\x90", 1));
  EXPECT_FALSE(InjectCode(CodeOf(Fixture_ThunkTarget), nullptr, 1));

  const std::vector<uint8_t> original = BytesAt(CodeOf(Fixture_ThunkTarget), 5);
  const uint8_t returnNine[5] = {0xB8, 0x09, 0x00, 0x00, 0x00};
  ASSERT_TRUE(InjectCode(CodeOf(Fixture_Thunk), returnNine, 5));
  EXPECT_EQ(Fixture_ThunkTarget(), 9);
  ASSERT_TRUE(InjectCode(CodeOf(Fixture_Thunk), original.data(), 5));
  EXPECT_EQ(Fixture_ThunkTarget(), 3);
}

// When the protection cannot be changed nothing is written, the count still
// rises (so the paired restore stays balanced), and RealProc tells the caller
// that the function was not redirected, even on a record used before.
TEST(CodeRedirect, RefusedProtectionChangeWritesNothing) {
  const std::vector<uint8_t> code{0xB8, 0x01, 0x00, 0x00, 0x00, 0xC3, 0xCC, 0xCC};
  TReadOnlyCode target(code);
  DWORD old;
  ASSERT_FALSE(VirtualProtect(target.ReadOnly, 6, PAGE_EXECUTE_READWRITE, &old)) << "the system allowed it";

  TRedirectCode data = CodeRedirect(CodeOf(Fixture_ReturnsOne), CodeOf(ReturnsTwo));
  CodeRestore(data);  // RealProc now holds a stale address
  CodeRedirect(target.ReadOnly, CodeOf(ReturnsTwo), data);
  EXPECT_EQ(data.Count, 1);
  EXPECT_EQ(data.RealProc, nullptr);
  EXPECT_EQ(BytesAt(target.ReadOnly, 8), code);
  CodeRestore(data);
  EXPECT_EQ(data.Count, 0);
  EXPECT_EQ(Fixture_ReturnsOne(), 1);
}
