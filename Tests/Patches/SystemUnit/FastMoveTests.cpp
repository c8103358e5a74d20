// Every move against memmove: the host's System.Move, each of the five
// variants called directly, and System.Move once redirected to the selected
// one. Counts 0..300 and larger ones at every alignment of source and
// destination, overlaps both ways, a move low in memory whose destination
// address is below its count, and ranges that end or begin at a page no one
// may touch. The large-move path of variants 2 to 4 is run at every size
// by lowering the large-move limit.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>
#include <windows.h>

#include "Common/RegisterCall.h"
#include "Patches/SystemUnit/FastCodeInstall.h"
#include "Patches/SystemUnit/FastMove.h"
#include "Hooking/CodeTransaction.h"
#include "StandInSystem.h"

using namespace Quillmend;

namespace {

struct TMoveCase {
  std::string Name;
  TMoveProc (*Get)();
};

TMoveProc HostMove() {
  SystemTest::InitializeFastMove();
  return SystemTest::RuntimeExport<TMoveProc>(SystemUnitDriver::Export::Move);
}

// System.Move itself, after FastCodeInstall redirected it.
TMoveProc RedirectedMove() {
  TMoveProc move = HostMove();
  if (!FastCodeInstalled()) InstallFastCode();
  return FastCodeInstalled() ? move : nullptr;
}

const std::vector<TMoveCase> Moves = {
    {"Host", &HostMove},
    {"IA32", [] { return MoveVariantProc(mvIA32); }},
    {"MMX", [] { return MoveVariantProc(mvMMX); }},
    {"SSE", [] { return MoveVariantProc(mvSSE); }},
    {"SSE2", [] { return MoveVariantProc(mvSSE2); }},
    {"SSE3", [] { return MoveVariantProc(mvSSE3); }},
    {"Redirected", &RedirectedMove},
};

// Differs between any two positions a misplaced block could confuse.
uint8_t PatternByte(size_t i) { return uint8_t((uint32_t(i) * 2654435761u) >> 24); }

// Expected: a copy of the buffer moved by memmove.
void ExpectMoveLikeMemmove(TMoveProc move, uint8_t* buffer, size_t size, size_t from, size_t to, size_t count,
                           const char* what) {
  for (size_t i = 0; i < size; ++i) buffer[i] = PatternByte(i);
  std::vector<uint8_t> expected(buffer, buffer + size);
  std::memmove(expected.data() + to, expected.data() + from, count);
  move(buffer + from, buffer + to, int32_t(count));
  if (std::memcmp(buffer, expected.data(), size) != 0) {
    size_t at = 0;
    while (buffer[at] == expected[at]) ++at;
    ADD_FAILURE() << what << ": from +" << from << " to +" << to << " count " << count << ": byte +" << at
                  << " differs";
  }
}

class FastMove : public testing::TestWithParam<TMoveCase> {
protected:
  void SetUp() override {
    Move = GetParam().Get();
    ASSERT_NE(Move, nullptr) << FastCodeInstallReason();
  }
  void TearDown() override { QmLargeMoveLimit = LargeMoveLimitFor(0); }
  TMoveProc Move = nullptr;
};

// Source and destination apart, at every alignment of both; once with the
// large-move limit as detected, once so low that every larger forward move
// takes the large path.
TEST_P(FastMove, CountsUpTo300AtEveryAlignment) {
  std::vector<uint8_t> buffer(2048);
  for (int32_t limit : {INT32_MIN, -37}) {
    QmLargeMoveLimit = limit;
    for (size_t count = 0; count <= 300; ++count)
      for (size_t s = 0; s < 16; ++s)
        for (size_t d = 0; d < 16; ++d) {
          ExpectMoveLikeMemmove(Move, buffer.data(), 700, 16 + s, 360 + d, count, "apart");
          if (HasFailure()) return;
        }
  }
}

TEST_P(FastMove, LargerCountsBothWaysAndApart) {
  const size_t counts[] = {37, 63, 64, 65, 100, 4096, 65536 + 13, (1u << 20) + 7, (4u << 20) + 3};
  std::vector<uint8_t> buffer((9u << 20) + 64);
  for (int32_t limit : {INT32_MIN, -37}) {
    QmLargeMoveLimit = limit;
    for (size_t count : counts)
      for (size_t s : {0u, 3u, 8u}) {
        if (count > 65536 && s == 8) continue;  // the large ones at fewer alignments: they take long
        for (size_t d : {0u, 5u, 12u}) {
          if (count > 65536 && d == 12) continue;
          const size_t size = 2 * count + 64;
          ExpectMoveLikeMemmove(Move, buffer.data(), size, s, count + 32 + d, count, "apart, up");
          ExpectMoveLikeMemmove(Move, buffer.data(), size, count + 32 + d, s, count, "apart, down");
        }
        ExpectMoveLikeMemmove(Move, buffer.data(), count + 64, s, s + 17, count, "overlapping, up");
        ExpectMoveLikeMemmove(Move, buffer.data(), count + 64, s + 17, s, count, "overlapping, down");
        if (HasFailure()) return;
      }
  }
}

TEST_P(FastMove, OverlapsBothWaysAtDistancesUpTo64) {
  std::vector<uint8_t> buffer(1024);
  for (int32_t limit : {INT32_MIN, -37}) {
    QmLargeMoveLimit = limit;
    for (size_t distance = 1; distance <= 64; ++distance)
      for (size_t count = 0; count <= 300; ++count) {
        const size_t at = (distance + count) % 16;  // the start's alignment varies with the case
        ExpectMoveLikeMemmove(Move, buffer.data(), 400, at, at + distance, count, "up by distance");
        ExpectMoveLikeMemmove(Move, buffer.data(), 400, at + distance, at, count, "down by distance");
        if (HasFailure()) return;
      }
  }
}

// A block low in memory: its destination address is below the count, so
// Dest - Count wraps. The ranges overlap with Dest above Source: only a
// backward move is right.
TEST_P(FastMove, MovesUpLowInMemoryWhereTheDestinationIsBelowTheCount) {
  uint8_t* block = nullptr;
  size_t size = 0;
  MEMORY_BASIC_INFORMATION info;
  for (uintptr_t at = 0x10000; !block && at < 0x01000000 && VirtualQuery(reinterpret_cast<void*>(at), &info, sizeof info);
       at = uintptr_t(info.BaseAddress) + info.RegionSize) {
    if (info.State != MEM_FREE) continue;
    const uintptr_t start = (uintptr_t(info.BaseAddress) + 0xFFFF) & ~uintptr_t(0xFFFF);
    const uintptr_t end = uintptr_t(info.BaseAddress) + info.RegionSize;
    const size_t wanted = ((2 * start + 0x10000) + 0xFFFF) & ~size_t(0xFFFF);
    if (end <= start || end - start < wanted) continue;
    block = static_cast<uint8_t*>(VirtualAlloc(reinterpret_cast<void*>(start), wanted, MEM_RESERVE | MEM_COMMIT,
                                               PAGE_READWRITE));
    size = wanted;
  }
  ASSERT_NE(block, nullptr) << "no free block low in memory";
  const size_t distance = 0x1000;
  const size_t count = uintptr_t(block) + distance + 0x100;  // more than the destination's address
  ASSERT_LE(distance + count, size);
  ASSERT_LT(uintptr_t(block + distance), count);
  for (int32_t limit : {INT32_MIN, -37}) {
    QmLargeMoveLimit = limit;
    ExpectMoveLikeMemmove(Move, block, distance + count, 0, distance, count, "low, up");
    ExpectMoveLikeMemmove(Move, block, distance + count, 3, distance + 1, count - 3, "low, up, unaligned");
  }
  VirtualFree(block, 0, MEM_RELEASE);
}

// Four pages: a page no one may touch, two usable pages, another such page.
struct TGuardedPages {
  uint8_t* Base;
  TGuardedPages() {
    Base = static_cast<uint8_t*>(VirtualAlloc(nullptr, 0x4000, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(Base, 0x1000, PAGE_NOACCESS, &old);
    VirtualProtect(Base + 0x3000, 0x1000, PAGE_NOACCESS, &old);
  }
  ~TGuardedPages() { VirtualFree(Base, 0, MEM_RELEASE); }
  uint8_t* First() const { return Base + 0x1000; }
  uint8_t* End() const { return Base + 0x3000; }
};

TEST_P(FastMove, ReadsAndWritesNothingBeyondEitherRange) {
  TGuardedPages source, dest;
  std::vector<size_t> counts;
  for (size_t count = 0; count <= 300; ++count) counts.push_back(count);
  counts.insert(counts.end(), {1000, 4095, 8000});
  for (int32_t limit : {INT32_MIN, -37}) {
    QmLargeMoveLimit = limit;
    for (size_t count : counts) {
      for (size_t i = 0; i < count; ++i) source.End()[-ptrdiff_t(count) + ptrdiff_t(i)] = PatternByte(i);
      // Both ranges end at a guard page, then both begin at one.
      Move(source.End() - count, dest.End() - count, int32_t(count));
      EXPECT_EQ(std::memcmp(source.End() - count, dest.End() - count, count), 0) << count;
      std::memcpy(source.First(), source.End() - count, count);
      Move(source.First(), dest.First(), int32_t(count));
      EXPECT_EQ(std::memcmp(source.First(), dest.First(), count), 0) << count;
      if (HasFailure()) return;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(SystemUnit, FastMove, testing::ValuesIn(Moves),
                         [](const testing::TestParamInfo<TMoveCase>& info) { return info.param.Name; });

// Each path of each variant keeps EBX, ESI, EDI and EBP and removes no stack
// argument (it has none), called the host's way.
TEST(FastMoveVariants, KeepTheHostsRegisterConvention) {
  std::vector<uint8_t> buffer(1 << 21);
  for (TMoveVariant variant : {mvIA32, mvMMX, mvSSE, mvSSE2, mvSSE3}) {
    for (int32_t limit : {INT32_MIN, -37}) {
      QmLargeMoveLimit = limit;
      for (size_t count : {0u, 5u, 36u, 37u, 300u, 100000u}) {
        for (bool up : {true, false}) {
          QmHost::RegisterCallReport report;
          uint8_t* source = buffer.data() + (up ? 0 : 7);
          uint8_t* dest = buffer.data() + (up ? 7 : 0);
          QmHost::CallRegisterChecked(reinterpret_cast<const void*>(MoveVariantProc(variant)), report,
                                      {QmHost::RegisterWord(source), QmHost::RegisterWord(dest), uint32_t(count)});
          EXPECT_TRUE(report.Clean()) << MoveVariantName(variant) << " count " << count << " up " << up
                                      << ": imbalance " << report.imbalance << ", clobbered " << report.clobbered;
        }
      }
    }
  }
  QmLargeMoveLimit = LargeMoveLimitFor(0);
}

TEST(FastMoveSelection, FollowsTheFeaturesAndHalvesTheL2Cache) {
  EXPECT_EQ(SelectMoveVariant(0), mvIA32);
  EXPECT_EQ(SelectMoveVariant(0x20), mvMMX);
  EXPECT_EQ(SelectMoveVariant(0x20 | 0x80), mvSSE);
  EXPECT_EQ(SelectMoveVariant(0x20 | 0x80 | 0x100), mvSSE2);
  EXPECT_EQ(SelectMoveVariant(0x200), mvSSE3);
  EXPECT_EQ(LargeMoveLimitFor(512), -262144);
  EXPECT_EQ(LargeMoveLimitFor(64), -32768);
  // An unknown L2 cache must not make every move a large one.
  EXPECT_EQ(LargeMoveLimitFor(0), INT32_MIN);
}

TEST(FastCodeInstall, RedirectsSystemMoveToTheSelectedVariantAndTheUndoPutsItBack) {
  TMoveProc host = HostMove();
  uint8_t before[8];
  std::memcpy(before, reinterpret_cast<void*>(host), 8);
  SystemTest::InstallPatches(L"*");  // not a named patch: "*" does not switch it off
  ASSERT_TRUE(FastCodeInstalled()) << FastCodeInstallReason();
  const uint8_t* code = reinterpret_cast<const uint8_t*>(host);
  ASSERT_EQ(code[0], 0xE9);
  int32_t displacement;
  std::memcpy(&displacement, code + 1, 4);
  EXPECT_EQ(code + 5 + displacement, reinterpret_cast<const uint8_t*>(FastMoveProc()));
  UndoAllTransactions();
  EXPECT_EQ(std::memcmp(before, code, 8), 0);
}

}  // namespace
