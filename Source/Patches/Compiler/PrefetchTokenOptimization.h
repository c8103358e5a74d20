// "Compiler.PrefetchToken": the compiler's token buffers come from a free
// list of ours instead of its memory manager (one allocation and one free
// per token); and "Compiler.StrLenCalls": a symbol record whose first byte
// is 0 keeps its text's length at 0x28, so its text is not measured again.
// Installed at the expert entry.
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

namespace PrefetchTokenPatterns {
// The token prefetch: +0x0B calls the buffer's allocation routine, +0x27 its release routine.
inline constexpr const char* Prefetch =
    "53 56 A1 ?? ?? ?? ?? 85 C0 75 29 E8 ?? ?? ?? ?? 8B D8 E8 ?? ?? ?? ?? E8 ?? ?? ?? ?? 8B F0 8B C3 E8 ?? ?? ?? "
    "?? 8B C3 E8 ?? ?? ?? ?? 89 35 ?? ?? ?? ?? 8B C6 5E 5B C3";
inline constexpr int32_t AllocCall = 0x0B;
inline constexpr int32_t ReleaseCall = 0x27;
// Inside the allocation routine: the size computed, +7 the memory manager's allocation.
inline constexpr const char* Alloc = "8D 7D 01 03 FF 03 C7 E8 ?? ?? ?? ??";
inline constexpr int32_t AllocGetMem = 7;
// Inside the release routine: +6 the memory manager's free.
inline constexpr const char* Release = "8B ?? 85 C9 75 ?? E8 ?? ?? ?? ?? C3";
inline constexpr int32_t ReleaseFreeMem = 6;
// The inner patterns are searched within this many bytes of their routine's start.
inline constexpr int32_t InnerWindow = 0x80;

// The text lengths of a symbol record in esi (+0x22 strlen) and in edi (+0x27 strlen).
inline constexpr const char* StrLenSymbol =
    "33 DB 80 3E 00 74 17 BA C1 02 00 00 B8 10 00 00 00 E8 ?? ?? ?? ?? 85 C0 0F 84 ?? ?? ?? ?? 8D 4E 30 51 E8 ?? "
    "?? ?? ?? 59";
inline constexpr int32_t StrLenSymbolCall = 0x22;
inline constexpr const char* StrLenMember =
    "80 3F 00 74 17 BA 0B 20 00 00 B8 10 00 00 00 E8 ?? ?? ?? ?? 85 C0 0F 84 ?? ?? 00 00 8A 57 0C 88 54 24 08 8D "
    "4F 30 51 E8 ?? ?? ?? ?? 59";
inline constexpr int32_t StrLenMemberCall = 0x27;
} // namespace PrefetchTokenPatterns

// A buffer of at least `size` bytes: the first block of the free list that
// is large enough (unlinked), else a new block of max(size, 2040) bytes
// behind an 8-byte header {Next, Size}. Host register convention.
void* QM_REGISTER TokenBufAlloc(int32_t size);
// The buffer's block in front of the free list, unless it is its head
// already; nil is ignored, as the compiler's release ignores it.
void QM_REGISTER TokenBufFree(void* buffer);
// Blocks on the free list, and blocks made so far.
size_t TokenBufFreeCount();
size_t TokenBufMadeCount();

std::vector<TPatchPlan> PrefetchTokenOptimizationPlans();
void InstallPrefetchTokenOptimization();

extern const TUnitInfo Unit_PrefetchTokenOptimization;

} // namespace Quillmend
