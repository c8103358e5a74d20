// The stand-in compiler's memory pools, driver interface, declared once for
// bds.exe's dccpools workload, the tests and the benchmark: a pool grows
// block by block; the compiler shrinks it back to a used size it noted.
#pragma once

#include <cstdint>

#include "Common/HostLayout.h"

namespace DccPoolsDriver {

namespace Export {
constexpr const char* Shrink = "DccPoolShrink";        // the searched routine
constexpr const char* FreeChain = "DccPoolFreeChain";  // the routine it calls at +0x18
constexpr const char* New = "DccPoolNew";
constexpr const char* Alloc = "DccPoolAlloc";
constexpr const char* Used = "DccPoolUsed";
constexpr const char* Free = "DccPoolFree";
constexpr const char* Checksum = "DccPoolChecksum";
constexpr const char* Counters = "DccPoolCounters";
} // namespace Export

// Pool record: [0x00] the size new blocks get (our field), [0x04]
// UsedBefore (bytes of the blocks before the current one), [0x08] first
// block, [0x0C] current block, [0x10] its start, [0x14] the current
// pointer, [0x18] the end of the current block. Block: [0x00] Next, [0x04]
// size, [0x08] start.
struct TBlock {
  TBlock* Next;
  int32_t Size;
  uint8_t* Start;
};
struct TPool {
  int32_t BlockSize;
  int32_t UsedBefore;
  TBlock* First;
  TBlock* Current;
  uint8_t* CurrentStart;
  uint8_t* Pointer;
  uint8_t* End;
};

// ShrinkPool(pool, newUsed, extra) — host register convention.
using ShrinkFn = void(QM_HOST_REGISTER*)(TPool* pool, int32_t newUsed, int32_t extra);
// FreeChain(first, used, extra) — frees the chain from `first` (may be
// null); remembers `used` and `extra` of its last call (counters).
using FreeChainFn = void(QM_HOST_REGISTER*)(TBlock* first, int32_t used, int32_t extra);
using NewFn = TPool*(__stdcall*)(int32_t blockSize);
// `size` bytes from the current block, or from a new block (of the pool's
// block size, or `size` if larger) appended after it; the current block's
// unused rest counts as used.
using AllocFn = uint8_t*(__stdcall*)(TPool* pool, int32_t size);
using UsedFn = int32_t(__stdcall*)(TPool* pool);
using FreeFn = void(__stdcall*)(TPool* pool);
// FNV over the pool's record (as offsets) and its chain of block sizes.
using ChecksumFn = uint32_t(__stdcall*)(TPool* pool);
// Blocks freed so far, and the last FreeChain call's `used` and `extra`.
struct TCounters {
  uint32_t BlocksFreed;
  int32_t LastUsed;
  int32_t LastExtra;
  uint32_t FreeChainCalls;
};
using CountersFn = void(__stdcall*)(TCounters* counters);

} // namespace DccPoolsDriver
