// Byte patterns of the compiler's symbol lookup over a scope of units ("??"
// matches any byte); "+n" counts from the match.
#pragma once

namespace Quillmend::SymLookupHashPatterns {
// A, the outer lookup over a scope of units; +0x32 the chain heads' offset.
inline constexpr const char* ScopeLookup =
    "53 56 57 55 83 C4 E4 8B D8 89 4C 24 04 89 14 24 83 7C 24 04 00 74 07 8B 44 24 04 C6 00 00 8B 2D ?? ?? ?? ?? "
    "85 ED 74 35 80 7D 00 16 75 2F 8B 45 10 05 ?? ?? 00 00 8B 0C 24 8B D3 E8 ?? ?? ?? ?? 8B E8";
// B, the inner loop: the chain head load at +8 (0x16C at +0xB), the flag and
// kind tests from +0x17, the name comparison called at +0x31, the path of a
// matching name at +0x3A.
inline constexpr const char* InnerLoop =
    "33 D2 8A D3 8B 4C 24 18 8B AC 91 ?? ?? 00 00 85 ED 0F 84 A7 00 00 00 F6 45 01 40 0F 84 92 00 00 00 80 7D 00 "
    "19 0F 84 88 00 00 00 8D 55 1E 8B 04 24 E8 ?? ?? ?? ?? 85 C0 75 79 33 D2 8B 44 24 18 E8 ?? ?? ?? ?? 8B D0 "
    "8B CB 8B C5 E8 ?? ?? ?? ??";
// C, the step to the next candidate, then the loop back to B+0x17.
inline constexpr const char* NextCandidate = "8B 6D 18 85 ED 0F 85 ?? FF FF FF 8B 44 24 18 E8 ?? ?? ?? ??";
} // namespace Quillmend::SymLookupHashPatterns
