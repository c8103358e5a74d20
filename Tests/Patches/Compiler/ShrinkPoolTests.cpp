// "Compiler.Memory.Shrink" against the stand-in compiler's pools: three ways,
// its pattern once at its site, and ShrinkPool against the host's routine:
// the same pools (block chain, current block, counters, pointer) and the
// same calls of the free-chain routine after every shrink, for the edges of
// a pool's blocks and for random pools and shrinks.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>
#include <windows.h>

#include "Hooking/PatternSearch.h"
#include "Patches/Compiler/CompilerShrinkUnitMemory.h"
#include "DccStandIn.h"
#include "TestPaths.h"
#include "ThreeWayHarness.h"
#include "dcc150/DccPoolsDriver.h"

namespace {

using namespace DccPoolsDriver;

const wchar_t* const Shrink = L"Compiler.Memory.Shrink";

struct TPools {
  NewFn New = DccExport<NewFn>(Export::New);
  AllocFn Alloc = DccExport<AllocFn>(Export::Alloc);
  UsedFn Used = DccExport<UsedFn>(Export::Used);
  ShrinkFn ShrinkPool = DccExport<ShrinkFn>(Export::Shrink);
  FreeFn Free = DccExport<FreeFn>(Export::Free);
  ChecksumFn Checksum = DccExport<ChecksumFn>(Export::Checksum);
  CountersFn Counters = DccExport<CountersFn>(Export::Counters);

  // One shrink and what it left: the pool, the free-chain call it made.
  std::string Shrunk(TPool* pool, int32_t newUsed, int32_t extra) {
    TCounters before = {}, after = {};
    Counters(&before);
    ShrinkPool(pool, newUsed, extra);
    Counters(&after);
    std::string trace = std::to_string(Checksum(pool)) + " used " + std::to_string(Used(pool));
    if (after.FreeChainCalls != before.FreeChainCalls)
      trace += " freed " + std::to_string(after.BlocksFreed - before.BlocksFreed) + " with " +
               std::to_string(after.LastUsed) + "," + std::to_string(after.LastExtra);
    return trace;
  }
};

uint32_t Next(uint32_t& seed, uint32_t range) {
  seed = seed * 1103515245u + 12345u;
  return (seed >> 8) % range;
}

// Random pools (block sizes 16..300, allocations up to twice a block) and
// shrinks back to random sizes up to the used one, each traced.
std::string RandomSession(uint32_t seed) {
  TPools pools;
  std::string trace;
  TPool* pool = pools.New(int32_t(16 + Next(seed, 285)));
  for (int step = 0; step < 400; ++step) {
    for (uint32_t n = Next(seed, 6); n > 0; --n) pools.Alloc(pool, int32_t(Next(seed, uint32_t(pool->BlockSize) * 2)));
    const int32_t used = pools.Used(pool);
    const int32_t target = Next(seed, 4) == 0 ? int32_t(Next(seed, uint32_t(used) + 1)) : used - int32_t(Next(seed, 40));
    trace += pools.Shrunk(pool, target < 0 ? 0 : target, int32_t(Next(seed, 3))) + "\n";
  }
  pools.Free(pool);
  return trace;
}

const std::vector<TPatchRow> PatchRows = {{Shrink, {}}};
const std::vector<TVariantRow> VariantRows = {{"shrink", {Shrink}}};

const TThreeWaySubsystem& Pools() {
  static const TThreeWaySubsystem subsystem{
      {L"dcc150.dll"},
      nullptr,
      [] { Quillmend::InstallCompilerShrinkUnitMemory(); },
      [] { return RandomSession(7); },
      {Shrink},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(ShrinkPool, Pools(), PatchRows, VariantRows)

class ShrinkPoolBehaviour : public TDccPatchBehaviour {
protected:
  static void Install() {
    Quillmend::InstallCompilerShrinkUnitMemory();
    ASSERT_NE(Quillmend::HostFreeChain, nullptr);
  }
};

// Five blocks of 100 bytes, full: what a shrink to each size leaves.
struct TEdgeRow {
  int32_t NewUsed;
  int32_t Current;     // index of the current block afterwards
  int32_t UsedBefore;
  int32_t Offset;      // the pointer's offset in the current block
  int32_t Freed;       // blocks freed (-1: the free-chain routine not called)
};

const TEdgeRow EdgeRows[] = {
    {0, 0, 0, 0, 4},        // the start of the first block
    {1, 0, 0, 1, 4},
    {100, 0, 0, 100, 4},    // the end of a block, not the start of the next
    {101, 1, 100, 1, 3},
    {399, 3, 300, 99, 1},
    {400, 3, 300, 100, 1},  // the current block's start: the end of the one before
    {401, 4, 400, 1, 0},    // inside the current block
    {499, 4, 400, 99, 0},
    {500, 4, 400, 100, 0},  // its end
    {530, 4, 400, 30, -1},  // past every block: only the pointer moves, by what is left
};

std::string EdgeTrace(TPools& pools, const TEdgeRow& row, TPool*& pool) {
  pool = pools.New(100);
  for (int i = 0; i < 5; ++i) pools.Alloc(pool, 100);
  return pools.Shrunk(pool, row.NewUsed, 2);
}

} // namespace

TEST_F(ShrinkPoolBehaviour, ThePatternIsFoundOnceAtItsSite) {
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  const Quillmend::TBytePattern pattern = Quillmend::ParsePattern(Quillmend::CompilerShrinkPatterns::Shrink);
  auto* site = static_cast<uint8_t*>(DccSite("PoolShrink"));
  auto* found = static_cast<uint8_t*>(Quillmend::FindMethodPtr(dcc, pattern, 0x1000000));
  EXPECT_EQ(found, site);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(Quillmend::FindMethodPtr(found + 1, pattern, 0), nullptr);
  EXPECT_EQ(found + 0x1D + *reinterpret_cast<int32_t*>(found + 0x19), DccExport<uint8_t*>(Export::FreeChain));
}

TEST_F(ShrinkPoolBehaviour, EdgesOfTheBlocksAsTheHostsRoutine) {
  TPools pools;
  std::vector<std::string> host;
  for (const TEdgeRow& row : EdgeRows) {
    SCOPED_TRACE(row.NewUsed);
    TPool* pool = nullptr;
    host.push_back(EdgeTrace(pools, row, pool));
    int32_t index = 0;
    for (TBlock* block = pool->First; block && block != pool->Current; block = block->Next) ++index;
    EXPECT_EQ(index, row.Current);
    EXPECT_EQ(pool->UsedBefore, row.UsedBefore);
    EXPECT_EQ(pool->Pointer - pool->CurrentStart, row.Offset);
    if (row.Freed >= 0) {
      EXPECT_EQ(pool->Current->Next, nullptr);
    }
    const std::string freed = " freed " + std::to_string(row.Freed) + " with " + std::to_string(row.NewUsed) + ",2";
    EXPECT_EQ(host.back().find(" freed") == std::string::npos ? "" : host.back().substr(host.back().find(" freed")),
              row.Freed < 0 ? "" : freed);
    pools.Free(pool);
  }
  Install();
  for (size_t i = 0; i < host.size(); ++i) {
    SCOPED_TRACE(EdgeRows[i].NewUsed);
    TPool* pool = nullptr;
    EXPECT_EQ(EdgeTrace(pools, EdgeRows[i], pool), host[i]);
    pools.Free(pool);
  }
}

TEST_F(ShrinkPoolBehaviour, RandomPoolsAsTheHostsRoutine) {
  std::vector<std::string> host;
  for (uint32_t seed = 1; seed <= 12; ++seed) host.push_back(RandomSession(seed));
  Install();
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE(seed);
    EXPECT_EQ(RandomSession(seed), host[seed - 1]);
  }
}
