// The compiler's memory pools around the searched shrink routine
// (DccPools.S): allocation block by block, the free-chain routine the shrink
// calls, and what the driver reads. Blocks come from the process heap.
#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "DccPoolsDriver.h"

using namespace DccPoolsDriver;

namespace {

TCounters g_counters = {};

TBlock* NewBlock(int32_t size) {
  auto* block = static_cast<TBlock*>(HeapAlloc(GetProcessHeap(), 0, sizeof(TBlock) + size_t(size)));
  block->Next = nullptr;
  block->Size = size;
  block->Start = reinterpret_cast<uint8_t*>(block + 1);
  return block;
}

uint32_t Mix(uint32_t h, uint32_t v) { return (h ^ v) * 16777619u; }

}  // namespace

extern "C" {

void QM_HOST_REGISTER DccPoolShrink(TPool* pool, int32_t newUsed, int32_t extra) QM_HOST_SYMBOL(DccPoolShrink);

void QM_HOST_REGISTER DccPoolFreeChain(TBlock* first, int32_t used, int32_t extra) QM_HOST_SYMBOL(DccPoolFreeChain);
void QM_HOST_REGISTER DccPoolFreeChain(TBlock* first, int32_t used, int32_t extra) {
  ++g_counters.FreeChainCalls;
  g_counters.LastUsed = used;
  g_counters.LastExtra = extra;
  while (first) {
    TBlock* next = first->Next;
    HeapFree(GetProcessHeap(), 0, first);
    ++g_counters.BlocksFreed;
    first = next;
  }
}

TPool* __stdcall DccPoolNew(int32_t blockSize) {
  auto* pool = static_cast<TPool*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TPool)));
  pool->BlockSize = blockSize > 0 ? blockSize : 1024;
  return pool;
}

uint8_t* __stdcall DccPoolAlloc(TPool* pool, int32_t size) {
  if (size < 0) size = 0;
  if (!pool->Current || pool->End - pool->Pointer < size) {
    TBlock* block = NewBlock(size > pool->BlockSize ? size : pool->BlockSize);
    if (pool->Current) {
      pool->Current->Next = block;
      pool->UsedBefore += pool->Current->Size;
    } else {
      pool->First = block;
    }
    pool->Current = block;
    pool->CurrentStart = block->Start;
    pool->Pointer = block->Start;
    pool->End = block->Start + block->Size;
  }
  uint8_t* result = pool->Pointer;
  pool->Pointer += size;
  return result;
}

int32_t __stdcall DccPoolUsed(TPool* pool) {
  return pool->UsedBefore + int32_t(pool->Pointer - pool->CurrentStart);
}

void __stdcall DccPoolFree(TPool* pool) {
  DccPoolFreeChain(pool->First, 0, 0);
  HeapFree(GetProcessHeap(), 0, pool);
}

uint32_t __stdcall DccPoolChecksum(TPool* pool) {
  uint32_t h = 2166136261u;
  int32_t index = 0, current = -1;
  for (TBlock* block = pool->First; block; block = block->Next, ++index) {
    h = Mix(h, uint32_t(block->Size));
    if (block == pool->Current) current = index;
  }
  h = Mix(h, uint32_t(index));
  h = Mix(h, uint32_t(current));
  h = Mix(h, uint32_t(pool->UsedBefore));
  if (pool->Current) {
    h = Mix(h, pool->CurrentStart == pool->Current->Start);
    h = Mix(h, uint32_t(pool->End - pool->CurrentStart));
  }
  return Mix(h, uint32_t(pool->Pointer - pool->CurrentStart));
}

void __stdcall DccPoolCounters(TCounters* counters) { *counters = g_counters; }

}  // extern "C"

static_assert(std::is_same_v<decltype(&DccPoolShrink), ShrinkFn>, "Shrink");
static_assert(std::is_same_v<decltype(&DccPoolFreeChain), FreeChainFn>, "FreeChain");
static_assert(std::is_same_v<decltype(&DccPoolNew), NewFn>, "New");
static_assert(std::is_same_v<decltype(&DccPoolAlloc), AllocFn>, "Alloc");
static_assert(std::is_same_v<decltype(&DccPoolUsed), UsedFn>, "Used");
static_assert(std::is_same_v<decltype(&DccPoolFree), FreeFn>, "Free");
static_assert(std::is_same_v<decltype(&DccPoolChecksum), ChecksumFn>, "Checksum");
static_assert(std::is_same_v<decltype(&DccPoolCounters), CountersFn>, "Counters");
