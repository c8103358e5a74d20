// "Compiler.rlink32.MaxResCount": the resource linker allocates its table
// of 18-byte resource entries with 65,280 bytes at most and keeps the size
// in 16 bits, so a project with more than 3,626 resources fails to link.
// The table's first attempt becomes 1,179,612 bytes (65,534 entries) and
// the size is kept and read back as 32 bits. Installed at the expert entry;
// the linker is loaded by name and held until the library unloads.
#pragma once

#include <cstdint>
#include <vector>
#include <windows.h>

#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

namespace Rlink32Patterns {
// A: the table's allocation (eax = the caller's size variable); +5 the first
// size tried, +0x14 the size stored (16 bits), +0x32 the size cleared.
inline constexpr const char* Alloc =
    "53 56 8B F0 BB 00 FF 00 00 53 E8 ?? ?? ?? ?? 59 85 C0 74 06 66 89 1E 5E 5B C3 81 EB 00 04 00 00 81 FB 00 04 "
    "00 00 7D E1 B8 8E 1D 00 00 E8 ?? ?? ?? ?? 66 C7 06 00 00 33 C0 5E 5B C3";
inline constexpr int32_t FirstSize = 0x05;
inline constexpr int32_t SizeStore = 0x14;
inline constexpr int32_t SizeClear = 0x32;
// B: entries = the size read back / 18.
inline constexpr const char* Entries = "0F B7 04 24 B9 12 00 00 00 33 D2 F7 F1 8B C8 66 89 0D ?? ?? ?? ??";
// 65,534 entries of 18 bytes: their count still fits the linker's 16 bits.
inline constexpr uint32_t TableBytes = 65534 * 18;
} // namespace Rlink32Patterns

// The resource linker, loaded by name once (null when it cannot be loaded).
HMODULE LoadRlink32();

std::vector<TPatchPlan> CompilerRlink32MaxResCountPlans();
void InstallCompilerRlink32MaxResCount();

extern const TUnitInfo Unit_CompilerRlink32MaxResCount;

} // namespace Quillmend
