// Byte patterns of the compiler routines the unit-list patches locate ("??"
// matches any byte), and the replacement code of the imported-symbol loop.
#pragma once

namespace Quillmend::CompilerOptimizationPatterns {

// The compiler's case-insensitive name comparison (eax, edx; 0 when equal).
inline constexpr const char* NameCompare =
    "53 56 57 83 C4 F8 33 C9 89 CB 89 54 24 04 89 04 24 8B F9 8B 44 24 04 8B 14 24 8B 0A 0B FB 8B D9 "
    "8B 30 33 F1 81 E1 7F 7F 7F 7F";

// Import unlinking; +8 unit list head, +0x2B and +0x4B the further lists' heads.
inline constexpr const char* UnlinkImports =
    "53 56 57 55 8B E8 8B 35 ?? ?? ?? ?? 85 F6 74 19 83 BE 60 01 00 00 00 75 09 8B D5 8B C6 E8 ?? ?? ?? ?? "
    "8B 76 04 85 F6 75 E7 8B 1D ?? ?? ?? ?? 85 DB 74 16 8B 73 08 85 F6 74 09 8B D5 8B C6 E8 ?? ?? ?? ?? "
    "8B 1B 85 DB 75 EA 8B 3D ?? ?? ?? ??";

// Loop freeing outdated units; +0x11 calls the unit-free routine.
inline constexpr const char* ResetUnits =
    "85 F6 74 1D 8A 46 12 3C 04 7C 04 3C 05 75 09 8B C6 E8 ?? ?? ?? ?? EB 03 8B 46 04 8B F0 85 F6 75 E3";

// Loop over all units after a CodeInsight compile; embeds 0x80 (+6) and 0x1E (+0xC).
inline constexpr const char* KibitzUnitReset =
    "85 F6 74 5E 8B 86 80 00 00 00 83 C0 1E E8 ?? ?? ?? ?? 85 C0 74 02 EB 43 8B 5E 74 85 DB 74 23 "
    "8B 43 10 85 C0 74 09 E8 ?? ?? ?? ?? 85 C0 75 0C";

// Loop freeing all units, two forms; bytes 2..5 are the unit list head's address.
inline constexpr const char* UnitFreeAll1 =
    "53 BB ?? ?? ?? ?? EB 05 E8 ?? ?? ?? ?? 8B 03 85 C0 75 F5 E8 ?? ?? ?? ?? 33 D2 89 15 ?? ?? ?? ??";
inline constexpr const char* UnitFreeAll2 =
    "53 BB ?? ?? ?? ?? E8 ?? ?? ?? ?? EB 05 E8 ?? ?? ?? ?? 8B 03 85 C0 75 F5 E8 ?? ?? ?? ?? 33 D2 89 15 "
    "?? ?? ?? ??";

// List operations: append (+7 tail), remove (starts 6 bytes earlier; -4 head),
// chain append, find by name (+7 calls the hash-byte routine), alias.
inline constexpr const char* UnitAppend =
    "33 D2 89 50 04 8B 15 ?? ?? ?? ?? 85 D2 74 05 89 42 04 EB 05 A3 ?? ?? ?? ?? A3 ?? ?? ?? ?? C3";
inline constexpr const char* UnitRemove =
    "85 D2 75 03 33 C0 C3 3B D0 75 1F 8B 4A 04 89 0D ?? ?? ?? ?? 3B 05 ?? ?? ?? ?? 75 07 33 C0 A3 ?? ?? ?? ?? "
    "B8 01 00 00 00 C3 C3";
inline constexpr const char* UnitChainAppend =
    "8B 50 0C 85 D2 74 26 8B 0D ?? ?? ?? ?? 85 C9 74 05 89 51 04 EB 09 8B 50 0C 89 15 ?? ?? ?? ?? "
    "8B 50 10 89 15 ?? ?? ?? ?? 33 C0 89 42 04 C3";
inline constexpr const char* UnitFind =
    "53 56 57 8B F0 8B C6 E8 ?? ?? ?? ?? 8B D8 8B 3D ?? ?? ?? ?? 85 FF 74 2B 3A 5F 11 75 1F 83 BF 80 00 00 00 00 "
    "74 16 8B 87 80 00 00 00 8B D6 83 C0 1E E8 ?? ?? ?? ?? 85 C0 75 02 EB 07 8B 7F 04 85 FF 75 D5 8B C7 "
    "5F 5E 5B C3";
inline constexpr const char* UnitAlias =
    "53 8B D8 8B C3 E8 ?? ?? ?? ?? 85 C0 74 0B 83 78 04 00 74 05 8B 40 04 5B C3 8B C3 5B C3";

// Decision whether units are discarded after a compile; +0xA and +0x13 hold
// the addresses of the two option string variables.
inline constexpr const char* NoUnitDiscard =
    "84 DB 74 04 85 FF 75 63 83 3D ?? ?? ?? ?? 00 74 09 83 3D ?? ?? ?? ?? 00 74 51 83 3D ?? ?? ?? ?? 00 75 09 "
    "83 3D ?? ?? ?? ?? 00 75 3F 83 3D ?? ?? ?? ?? 00 74 32 83 3D ?? ?? ?? ?? 00 74 29";

// Symbol lookup in one scope; +0x19 embeds the symbol chains' offset, +0x31 calls the name comparison.
inline constexpr const char* SymLookupScope =
    "53 56 57 55 8B E9 8B F0 83 3D ?? ?? ?? ?? 00 74 0E 8B 3D ?? ?? ?? ?? 81 C7 ?? ?? 00 00 EB 02 8B FE "
    "33 C0 8A C2 8B 1C 86 85 DB 74 29 8D 53 1E 8B C5 E8 ?? ?? ?? ?? 85 C0 75 14 F6 43 01 40 75 0A 3B FE "
    "75 0A 80 7B 03 00 75 04";
// Written at +0x2C: flag and scope tests first, then the name comparison (call at +0x15 of these bytes).
inline constexpr const char* SymLookupScopeRewrite =
    "F6 43 01 40 75 0A 3B FE 75 18 80 7B 03 00 75 12 8D 53 1E 8B C5 E8 00 00 00 00 85 C0 75 04";

// Imported-symbol lookup; +0xD embeds the symbol chains' offset, +0x1B and
// +0x36 call the name comparison and the visibility test.
inline constexpr const char* ImportedSymbol =
    "33 D2 8A D3 8B 0D ?? ?? ?? ?? 8B AC 91 ?? ?? 00 00 85 ED 74 52 8D 55 1E 8D 46 1E E8 ?? ?? ?? ?? 85 C0 "
    "75 3C 8A 4F 03 3A 4D 03 75 34 80 7D 03 80 7F 0D 8B D7 8B C5 E8 ?? ?? ?? ?? 85 C0 74 21 8A 06 3C 0A "
    "7C 09 3C 0C 7F 05 3B 75 10 75 12 80 3E 14 75 06 80 7D 00 19 74 07 8B C5 E9 AE 00 00 00 8B 6D 18 85 ED "
    "75 AE";
// The rewritten loop: kind, scope and byte-3 tests before the name comparison
// (calls at +0x3D and +0x50); bytes 0x15..0x66 are written.
inline constexpr const char* ImportedSymbolTemplate =
    "33 D2 8A D3 8B 0D 00 00 00 00 8B AC 91 00 00 00 00 85 ED 74 52 8A 06 3C 0A 7C 09 3C 0C 7F 05 3B 75 10 "
    "75 3C 80 3E 14 75 06 80 7D 00 19 74 31 8A 57 03 3A 55 03 75 29 8D 55 1E 8D 46 1E E8 00 00 00 00 85 C0 "
    "75 1A 80 7D 03 80 7F 0D 8B D7 8B C5 E8 00 00 00 00 85 C0 74 07 8B C5 E9 AE 00 00 00 8B 6D 18 85 ED "
    "75 AE 00";

} // namespace Quillmend::CompilerOptimizationPatterns
