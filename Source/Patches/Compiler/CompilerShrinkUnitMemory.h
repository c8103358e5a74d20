// "Compiler.Memory.Shrink": the compiler's memory pools shrink without a
// walk. The host's routine walks the pool's blocks from the first every
// time it shrinks a pool to a used size, although the size nearly always
// lies in the current block; ShrinkPool takes the current block at once
// when it holds the size and walks only otherwise. Installed at the expert
// entry.
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The compiler's pool record and its blocks.
struct TDccPoolBlock {
  TDccPoolBlock* Next;  // 0x00
  int32_t Size;         // 0x04
  uint8_t* Start;       // 0x08
};
struct TDccPool {
  uint32_t Host0;          // 0x00 (the host's)
  int32_t UsedBefore;      // 0x04 bytes of the blocks before the current one
  TDccPoolBlock* First;    // 0x08
  TDccPoolBlock* Current;  // 0x0C
  uint8_t* CurrentStart;   // 0x10
  uint8_t* Pointer;        // 0x14
  uint8_t* End;            // 0x18
};

namespace CompilerShrinkPatterns {
// The pool shrink; +0x18 calls the free-chain routine.
inline constexpr const char* Shrink =
    "53 56 57 8B F8 55 8B EA 8B 5F 08 8B F5 85 DB 74 38 3B 73 04 7F 2A 8B 03 E8 ?? ?? ?? ?? 89 5F 0C 33 D2 89 13 "
    "2B EE";
inline constexpr int32_t FreeChainCall = 0x18;
} // namespace CompilerShrinkPatterns

// The host's free-chain routine (eax = first block to free, edx = the used
// size the shrink was given, ecx = its third argument).
using THostFreeChain = void(QM_REGISTER*)(TDccPoolBlock* first, int32_t used, int32_t extra);
extern THostFreeChain HostFreeChain;

// The shrink as the host's, in its register convention (pool, new used
// size, the value passed on to the free-chain routine).
void QM_REGISTER ShrinkPool(TDccPool* pool, int32_t newUsed, int32_t extra);

std::vector<TPatchPlan> CompilerShrinkUnitMemoryPlans();
void InstallCompilerShrinkUnitMemory();

extern const TUnitInfo Unit_CompilerShrinkUnitMemory;

} // namespace Quillmend
