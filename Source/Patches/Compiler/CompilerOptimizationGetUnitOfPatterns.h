// Byte patterns of the compiler's memory manager and of its unit-of-address
// and imported-symbol routines ("??" matches any byte); "+n" counts from the match.
#pragma once

namespace Quillmend::GetUnitOfPatterns {

// G, the unit of an address: +6 the context chain, +0x3C the unit list head.
inline constexpr const char* GetUnitOf =
    "53 56 8B F0 8B 1D ?? ?? ?? ?? EB 02 8B 1B 85 DB 74 0D 8B D6 8B C3 E8 ?? ?? ?? ?? 85 C0 74 ED 85 DB 75 17 "
    "68 ?? ?? ?? ?? 68 ?? ?? ?? ?? 68 ?? ?? ?? ?? E8 ?? ?? ?? ?? 83 C4 0C 8B 35 ?? ?? ?? ?? EB 03 8B 76 04 85 F6 "
    "74 0D 8B D6 8B C3 E8 ?? ?? ?? ?? 85 C0 74 EC 8B C6 5E 5B C3";
// A, a new zone made current (eax = context, edx = bytes).
inline constexpr const char* NewZone = "53 56 57 8B FA 8B F0 8B D7 8B 46 18 E8 ?? ?? ?? ?? 8B D8 33 C0 89 03";
// F, the release of one zone; +5 the free ranges' head variable.
inline constexpr const char* FreeZone =
    "53 56 8B D8 BE ?? ?? ?? ?? 8B 06 85 C0 74 46 8B 50 08 03 50 04 3B 53 08 75 17 8B 08 89 0E";
// P, the descriptor pool: +1 its bytes (1200), +0x19 the descriptor stride (12).
inline constexpr const char* DescriptorPool =
    "B8 B0 04 00 00 E8 ?? ?? ?? ?? BA 63 00 00 00 EB 09 8B 0B 89 08 89 03 83 C0 0C 4A 79 F4 5B C3";
// C, the release of a chain of zones.
inline constexpr const char* FreeZoneChain = "53 85 C0 74 0D 8B 18 E8 ?? ?? ?? ?? 8B C3 85 C0 75 F3 5B C3";
// K, the context of an address: +6 the context chain. Its two further walks
// (ContextOfNextChain at +0x26 and +0x48) hold the other two chains at +2.
inline constexpr const char* ContextOf =
    "53 56 8B F0 8B 1D ?? ?? ?? ?? 85 DB 74 18 8B D6 8B C3 E8 ?? ?? ?? ?? 85 C0 74 05 8B C3 5E 5B C3";
inline constexpr const char* ContextOfNextChain = "8B 1D ?? ?? ?? ?? 85 DB 74 18 8B D6 8B C3 E8";
// U, the unit of an address (second form): +0xE the context chain.
inline constexpr const char* UnitOfAddress =
    "53 56 8B F0 85 F6 0F 84 8E 00 00 00 8B 1D ?? ?? ?? ?? 85 DB 0F 84 80 00 00 00 8B D6 8B C3 E8 ?? ?? ?? ?? "
    "85 C0 74 6D 8B 4B 08 3B 1D ?? ?? ?? ?? 8B 71 08 74 46 80 3D ?? ?? ?? ?? 02 75 07 B8 01 00 00 00";
// W1, W2, W3: inline searches of the context chain (+8, +0x14, +0xC).
inline constexpr const char* InlineSearch1 =
    "8B 46 20 5E 5B C3 8B 1D ?? ?? ?? ?? EB 02 8B 1B 85 DB 74 0D 8B D6 8B C3 E8 ?? ?? ?? ?? 85 C0 74 ED 85 DB "
    "75 05 33 C0 5E 5B C3";
inline constexpr const char* InlineSearch2 =
    "8B 4E 20 3B 0D ?? ?? ?? ?? 0F 94 C0 83 E0 01 5E 5B C3 8B 1D ?? ?? ?? ?? EB 02 8B 1B 85 DB 74 0D 8B D6 8B C3 "
    "E8 ?? ?? ?? ?? 85 C0 74 ED 85 DB 75 05 33 C0 5E 5B C3";
inline constexpr const char* InlineSearch3 =
    "80 7E 03 00 75 3A 85 ED 74 36 8B 1D ?? ?? ?? ?? EB 02 8B 1B 85 DB 74 0D 8B D5 8B C3 E8 ?? ?? ?? ?? 85 C0 "
    "74 ED 85 DB 75 17 68 ?? ?? ?? ??";
// N1, unit creation (searched from K - 0x500 within 0x500): the call at +0x15
// allocates the record from the new context (eax).
inline constexpr const char* CreateUnit1 =
    "53 E8 ?? ?? ?? ?? 8B D8 89 1D ?? ?? ?? ?? BA ?? ?? 00 00 8B C3 E8 ?? ?? ?? ?? 8B D8 80 3D ?? ?? ?? ?? 02 "
    "75 07 B9 01 00 00 00 EB 02 33 C9 C1 E1 0D F6 05 ?? ?? ?? ?? 08";
// N2, unit creation (second form): +0x22 the current-context variable; the
// call at +0x2B allocates the record from that context.
inline constexpr const char* CreateUnit2 =
    "53 56 57 55 83 C4 F4 89 54 24 04 89 04 24 BE ?? ?? ?? ?? A1 ?? ?? ?? ?? 89 44 24 08 E8 ?? ?? ?? ?? "
    "A3 ?? ?? ?? ?? B8 ?? ?? 00 00 E8 ?? ?? ?? ?? 8B D8 68 ?? ?? 00 00 6A 00 53 E8 ?? ?? ?? ??";
// M, the descriptor allocator: +1 the free-descriptor variable.
inline constexpr const char* AllocDescriptor =
    "A1 ?? ?? ?? ?? 85 C0 75 06 E8 ?? ?? ?? ?? C3 8B 10 89 15 ?? ?? ?? ?? C3 8B 15 ?? ?? ?? ?? 89 10 A3 ?? ?? "
    "?? ?? C3";

// The imported-symbol lookup's six places.
// I1: +0xB the current-unit variable; calls at +0x4C and +0x58; 0x16C at +0x12 and +0x3C.
inline constexpr const char* SymbolReference =
    "53 8B D8 56 33 C0 8A 43 02 8B 15 ?? ?? ?? ?? 8B 84 82 ?? ?? 00 00 85 C0 74 10 3B D8 75 05 8B C3 5E 5B C3 "
    "8B 40 18 85 C0 75 F0 8B 35 ?? ?? ?? ?? 85 F6 74 3A 33 C0 8A 43 02 8B 84 86 ?? ?? 00 00 85 C0 74 23 3B D8 "
    "75 18 33 D2 8B C6 E8 ?? ?? ?? ?? 8B D0 8A 4B 02 8B C3 E8 ?? ?? ?? ?? 5E 5B C3";
// I2: the load of the unit list head at +2 (6 bytes).
inline constexpr const char* ReferenceOwner =
    "33 C0 8B 0D ?? ?? ?? ?? 85 C9 74 2F 8B 51 74 85 D2 74 1D 8B 42 0C 85 C0 74 0B 3B D8 74 07 8B 40 14 85 C0 "
    "75 F5 85 C0 75 07 8B 52 14 85 D2 75 E3 85 C0 75 07 8B 49 04 85 C9 75 D1";
// I3: the unit walk from +0x2A; 0x16C at +0x3C.
inline constexpr const char* DeclaringUnit =
    "53 8B D8 56 80 7B 03 00 7D 03 8B 5B 10 80 7B 03 00 74 17 68 ?? ?? ?? ?? 68 ?? ?? ?? ?? 68 ?? ?? 00 00 "
    "E8 ?? ?? ?? ?? 83 C4 0C 8B 35 ?? ?? ?? ?? 85 F6 74 3A 33 C0 8A 43 02 8B 84 86 ?? ?? 00 00 85 C0 74 ?? 3B D8 "
    "75 ??";
// I4 (0x16C at +0x2B), I5 within 0x200 after it (0x16C at +0x16), I6 within
// 0x100 after I5 (0x16C at +8).
inline constexpr const char* ResolveKnown =
    "33 D2 8B 40 28 E8 ?? ?? ?? ?? 8B C8 8B DE 8B C3 8B D1 8B CF 91 E8 ?? ?? ?? ?? EB 5E EB 43 8B 0D ?? ?? ?? ?? "
    "85 C9 74 39 8B 94 B1 ?? ?? 00 00 85 D2 74 27 3B 50 0C 75 1B";
inline constexpr const char* ResolveImports =
    "8B 47 0C 8B 15 ?? ?? ?? ?? 8B 4A 74 85 C9 74 2F 8B 51 10 8B 94 B2 ?? ?? 00 00 85 D2 74 1A 3B 50 0C 75 0E "
    "8B C6 91 92 E8 ?? ?? ?? ?? E9 9F 00 00 00 8B 52 18 85 D2 75 E6 8B 49 14 85 C9 75 D1";
inline constexpr const char* ResolveImportUnit =
    "A1 ?? ?? ?? ?? 8B 94 B0 ?? ?? 00 00 85 D2 74 12 3B FA 75 07 8B C2 E9 D7 00 00 00 8B 52 18 85 D2 75 EE";

} // namespace Quillmend::GetUnitOfPatterns
