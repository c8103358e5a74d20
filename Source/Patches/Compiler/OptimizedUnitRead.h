// "Compiler.Unit.RdName": the compiler's name reader copies with moves. The
// host's routine copies a name from a compiled unit's data byte by byte;
// ReadName copies the short lengths the compiler meets most with single
// moves and the others with one block move. Installed at the expert entry.
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

namespace UnitReadPatterns {
// The whole name reader (eax = source, edx = dest).
inline constexpr const char* ReadName =
    "53 51 8B DA 8B D4 E8 ?? ?? ?? ?? 8B 14 24 EB 06 8A 08 40 88 0B 43 4A 79 F7 C6 03 00 5A 5B C3";
} // namespace UnitReadPatterns

// A name record: its length byte, or 255 and a 32-bit length; then the
// text. Copies the text to dest, appends a zero byte and returns the
// address after the text (host register convention).
const uint8_t* QM_REGISTER ReadName(const uint8_t* source, char* dest);

std::vector<TPatchPlan> OptimizedUnitReadPlans();
void InstallOptimizedUnitRead();

extern const TUnitInfo Unit_OptimizedUnitRead;

} // namespace Quillmend
