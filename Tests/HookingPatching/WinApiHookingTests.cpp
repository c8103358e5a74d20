// Hooking Win32-style entries: real Wine system functions (hot-patchable,
// "8B FF" behind five filler bytes) and fixtures from PatchingFixtures.S.
#include "Fixtures.h"

#include "Hooking/WinApiHooking.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace Quillmend;

namespace {

using TEntry = UINT(WINAPI*)();

// Two hooks that add a mark and pass on through what their hook call returned.
TEntry nextOfFirst = nullptr;
TEntry nextOfSecond = nullptr;
UINT WINAPI FirstHook() { return nextOfFirst() + 100000; }
UINT WINAPI SecondHook() { return nextOfSecond() + 200000; }

void* Kernel32(const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name));
}

struct TEntryCase {
  const char* Name;
  void* Entry;
};
void PrintTo(const TEntryCase& c, std::ostream* os) { *os << c.Name; }

// Which hooks a call passed through, from the marks they added. A clock such
// as GetTickCount may move on by a few milliseconds between two calls.
UINT Marks(UINT result, UINT plain) { return (result - plain + 50000) / 100000 * 100000; }

// Snapshot of the 5 filler bytes and the entry's first 8 bytes.
struct TBytesAround {
  uint8_t Bytes[13];
  explicit TBytesAround(const void* entry) { std::memcpy(Bytes, static_cast<const uint8_t*>(entry) - 5, sizeof Bytes); }
  bool operator==(const TBytesAround& other) const { return std::memcmp(Bytes, other.Bytes, sizeof Bytes) == 0; }
};

class HotPatchHooking : public ::testing::TestWithParam<TEntryCase> {};

}  // namespace

TEST_P(HotPatchHooking, TwoHooksChainAndUnhookInReverseOrderStepByStep) {
  const auto entry = reinterpret_cast<TEntry>(GetParam().Entry);
  ASSERT_NE(entry, nullptr);
  const auto* code = static_cast<const uint8_t*>(Code(entry));
  ASSERT_EQ(code[0], 0x8B);
  ASSERT_EQ(code[1], 0xFF);
  const UINT plain = entry();
  const TBytesAround original(code);

  TWinApiHookInfo first, second;
  nextOfFirst = reinterpret_cast<TEntry>(HookWinApiProc(Code(entry), Code(FirstHook), first));
  EXPECT_EQ(first.Mode, 1);
  EXPECT_EQ(first.WinApiProc, code);
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(nextOfFirst), code + 2);  // past the 2-byte no-op
  EXPECT_EQ(Marks(entry(), plain), 100000u);

  nextOfSecond = reinterpret_cast<TEntry>(HookWinApiProc(Code(entry), Code(SecondHook), second));
  EXPECT_EQ(second.Mode, 2);
  EXPECT_EQ(Code(nextOfSecond), Code(FirstHook));
  EXPECT_EQ(Marks(entry(), plain), 300000u);

  EXPECT_TRUE(UnhookWinApiProc(second));
  EXPECT_EQ(Marks(entry(), plain), 100000u);
  EXPECT_TRUE(UnhookWinApiProc(first));
  EXPECT_EQ(Marks(entry(), plain), 0u);
  EXPECT_TRUE(TBytesAround(code) == original);
}

INSTANTIATE_TEST_SUITE_P(WinApiHooking, HotPatchHooking,
                         ::testing::Values(TEntryCase{"Fixture", Code(Fixture_HotPatchable)},
                                           TEntryCase{"GetOEMCP", Kernel32("GetOEMCP")},  // forwarder: 8B FF 55 8B EC 5D FF 25
                                           TEntryCase{"GetTickCount", Kernel32("GetTickCount")}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(WinApiHooking, WithoutHotPatchPrologueATrampolineIsUsed) {
  const TBytesAround original{Code(Fixture_PlainStart)};
  TWinApiHookInfo info;
  nextOfFirst = reinterpret_cast<TEntry>(HookWinApiProc(Code(Fixture_PlainStart), Code(FirstHook), info));
  ASSERT_NE(nextOfFirst, nullptr);
  EXPECT_EQ(info.Mode, 3);
  EXPECT_EQ(info.OrgCall, Code(nextOfFirst));
  EXPECT_EQ(nextOfFirst(), 9u);
  EXPECT_EQ(Fixture_PlainStart(), 100009u);
  EXPECT_TRUE(UnhookWinApiProc(info));
  EXPECT_EQ(Fixture_PlainStart(), 9u);
  EXPECT_TRUE(TBytesAround{Code(Fixture_PlainStart)} == original);
}

TEST(WinApiHooking, NoOpPrologueDirectlyBehindOtherCodeLeavesThatCodeAlone) {
  // Only filler in front of the entry may take the long jump; here it would
  // overwrite the end of Fixture_CodeBefore.
  const TBytesAround original{Code(Fixture_NoRoomBefore)};
  TWinApiHookInfo info;
  nextOfFirst = reinterpret_cast<TEntry>(HookWinApiProc(Code(Fixture_NoRoomBefore), Code(FirstHook), info));
  EXPECT_EQ(info.Mode, 3);
  EXPECT_EQ(Fixture_CodeBefore(), 3);
  EXPECT_EQ(Fixture_NoRoomBefore(), 100011u);
  EXPECT_TRUE(UnhookWinApiProc(info));
  EXPECT_TRUE(TBytesAround{Code(Fixture_NoRoomBefore)} == original);
}

TEST(WinApiHooking, ClearedOrRefusedRecordsDoNotUnhook) {
  TWinApiHookInfo info;
  std::memset(&info, 0xAB, sizeof info);
  EXPECT_EQ(HookWinApiProc(nullptr, Code(FirstHook), info), nullptr);
  EXPECT_EQ(info.WinApiProc, nullptr);
  EXPECT_EQ(info.Mode, 0);
  EXPECT_FALSE(UnhookWinApiProc(info));
  EXPECT_EQ(HookWinApiProc(Code(Fixture_PlainStart), nullptr, info), nullptr);
  EXPECT_FALSE(UnhookWinApiProc(info));

  TWinApiHookInfo unknownMode{};
  unknownMode.WinApiProc = static_cast<uint8_t*>(Code(Fixture_PlainStart));
  unknownMode.Mode = 4;
  EXPECT_FALSE(UnhookWinApiProc(unknownMode));
}
