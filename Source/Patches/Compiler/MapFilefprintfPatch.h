// "Compiler.MapFile.fprintf": one write per line of a map's line-number
// section. The linker writes the line break before every fourth entry with
// a write of its own; the patch notes the break instead and puts it in
// front of the entry's fields, so the entry and its break go out in one
// formatted write. Installed at the expert entry, and only where the
// linker's texts are the ones this rewrite assumes (a linker writing other
// fields or another break keeps its own writes).
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

namespace MapFilePatterns {
// The linker's formatted write (cdecl: file, format, arguments).
inline constexpr const char* Write =
    "55 8B EC 8D 45 10 50 6A 00 6A 00 8B 55 0C 52 8B 4D 08 51 68 ?? ?? ?? ?? E8 ?? ?? ?? ?? 83 C4 18 5D C3";
// One entry of a line-number section: +0x0A the break's text, +0x0F its
// write, +0x29 the fields' format, +0x2E their write.
inline constexpr const char* Line =
    "F6 05 ?? ?? ?? ?? 03 75 0E 68 ?? ?? ?? ?? 53 E8 ?? ?? ?? ?? 83 C4 08 8B 45 08 50 0F BE 4D FF 8B 0C 8D ?? ?? "
    "?? ?? 51 56 68 ?? ?? ?? ?? 53 E8 ?? ?? ?? ?? 83 C4 14 FF 05 ?? ?? ?? ??";
inline constexpr int32_t BreakText = 0x0A;
inline constexpr int32_t BreakWrite = 0x0F;
inline constexpr int32_t FieldsText = 0x29;
inline constexpr int32_t FieldsWrite = 0x2E;
} // namespace MapFilePatterns

// The texts the rewrite assumes, and the one it writes instead.
inline constexpr const char* MapBreakText = "\n";
inline constexpr const char* MapFieldsText = " %5ld %04X:%08lX";
inline constexpr const char* MapBreakAndFieldsText = "\n %5ld %04X:%08lX";

// 1 while a break is noted and not yet written.
extern uint8_t PendingBreak asm("QmPendingBreak");

std::vector<TPatchPlan> MapFilefprintfPatchPlans();
void InstallMapFilefprintfPatch();

extern const TUnitInfo Unit_MapFilefprintfPatch;

} // namespace Quillmend
