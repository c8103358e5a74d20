// "Compiler.RsmMemLeak": the compiler's RSM store writes a record's block
// into a table element over the block the element held, which is lost.
// StoreRecord takes the host's own merge path instead when the element
// holds another block, and forgets the lookup's cached record when it is
// the one stored. Installed at the expert entry.
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

namespace RsmPatterns {
// P: +0 the table, +5 the store into element ecx (table + ecx*4: block at
// 0x08, size at 0x0C); the merge path from +0x15: V1 (+0x1A, +0x33), V2
// (+0x22, +0x3C), R1 (+0x29), R2 (+0x40); the host continues at +0x45.
inline constexpr const char* Store =
    "A1 ?? ?? ?? ?? 8B 53 0C 89 54 88 08 8B 53 10 89 54 88 0C EB 30 8B 4B 0C 89 0D ?? ?? ?? ?? 8B 43 10 A3 ?? ?? "
    "?? ?? 8D 43 0C E8 ?? ?? ?? ?? 8B 53 0C 89 15 ?? ?? ?? ?? 8B 4B 10 89 0D ?? ?? ?? ?? E8 ?? ?? ?? ??";
inline constexpr int32_t StoreAt = 0x05;
inline constexpr int32_t V1 = 0x1A, V1Again = 0x33, V2 = 0x22, V2Again = 0x3C;
inline constexpr int32_t Merge1 = 0x29, Merge2 = 0x40;
// Q, the lookup with a cache: +7 its limit, +0x2B the current record, +0x33 the count.
inline constexpr const char* Lookup =
    "33 D2 89 14 24 8B 0D ?? ?? ?? ?? 3B 0D ?? ?? ?? ?? 0F 8D 87 00 00 00 A1 ?? ?? ?? ?? 8D 04 40 8B 15 ?? ?? ?? ?? "
    "8B 54 C2 0C 3B 15 ?? ?? ?? ?? 75 53 3B 35 ?? ?? ?? ?? 75 11 8B 0D ?? ?? ?? ?? 8B 44 C1 10 E9 CD 00 00 00";
inline constexpr int32_t Limit = 0x07, Current = 0x2B, Count = 0x33;
} // namespace RsmPatterns

// An element {.., block 0x08, size 0x0C} and a record {.., block 0x0C, size 0x10}.
void QM_REGISTER StoreRecord(uint8_t* element, uint8_t* record);

std::vector<TPatchPlan> CompilerDbkRsmMemoryLeakFixPlans();
void InstallCompilerDbkRsmMemoryLeakFix();

extern const TUnitInfo Unit_CompilerDbkRsmMemoryLeakFix;

} // namespace Quillmend
