// Byte patterns of the compiler's package routines ("??" matches any byte),
// searched in this order, each from the match before.
#pragma once

namespace Quillmend::PackageLookupPatterns {

// Find a package by name; +0x19 the package list head, +0x27 the name offset 0x22A, +0x2D calls the name comparison.
inline constexpr const char* FindPackage =
    "53 56 85 C0 75 05 33 C0 5E 5B C3 8B F0 33 C0 8A 06 83 F8 2E 75 01 46 8B 1D ?? ?? ?? ?? EB 02 8B 1B 85 DB 74 11 "
    "8D 83 2A 02 00 00 8B D6 E8 ?? ?? ?? ?? 85 C0 75 E9 8B C3 5E 5B C3";
// Remove a package (from FindPackage, no limit); +0x27 and +0x2C the list head.
inline constexpr const char* RemovePackage =
    "53 56 8B DA 8B F0 83 3D ?? ?? ?? ?? 00 75 17 68 ?? ?? ?? ?? 68 ?? ?? ?? ?? 68 ?? ?? ?? ?? E8 ?? ?? ?? ?? 83 C4 0C "
    "A1 ?? ?? ?? ?? BA ?? ?? ?? ?? 3B F0 74 08 8B D0 8B 00 3B F0 75 F8 8B 00 89 02";
// Release all packages (from RemovePackage, within 0x200); +8 the list head.
inline constexpr const char* ReleaseAll = "53 56 BE ?? ?? ?? ?? BB ?? ?? ?? ?? EB 07 33 D2 E8 ?? ?? ?? ?? 8B 03 85 C0";
// Find or load a package (from ReleaseAll, within 0x200); +0x1B the list head,
// +0x2A the name offset; its name loop starts at +0x29.
inline constexpr const char* FindOrLoad =
    "53 56 57 85 C0 75 07 33 C0 E9 ?? 00 00 00 8B F0 33 C0 8A 06 83 F8 2E 75 01 46 BB ?? ?? ?? ?? EB 02 8B 1B 8B 03 "
    "85 C0 74 10 05 ?? ?? 00 00 8B D6 E8 ?? ?? ?? ?? 85 C0 75 ??";
// The package containing a unit (from FindOrLoad, no limit); +0x11 and +0x43 the list head.
inline constexpr const char* PackageOfUnit =
    "53 56 57 55 8B F8 8B C7 E8 ?? ?? ?? ?? 8B D8 83 3D ?? ?? ?? ?? 00 74 22 3A 1D ?? ?? ?? ?? 75 21 8B 15 ?? ?? ?? ?? "
    "8B C7 E8 ?? ?? ?? ?? 85 C0 75 10 33 C0 E9 A2 00 00 00 EB 07 33 C0 E9 99 00 00 00 8B 35 ?? ?? ?? ?? 85 F6 74 40 "
    "3B 35 ?? ?? ?? ?? 74 38 A1 ?? ?? ?? ?? 3B 05 ?? ?? ?? ?? 75 2B F6 46 10 02 75 25";
// A package's units checked against all others (from FindOrLoad, within 0x2000); +0x0E the list head.
inline constexpr const char* DuplicateCheck =
    "53 56 57 55 51 8B E8 33 C0 89 04 24 8B 3D ?? ?? ?? ?? 85 FF 74 6C 3B EF 74 62 8B 75 0C 85 F6 74 5B 8B 5F 0C 85 DB "
    "74 4E";
// Its error report (from DuplicateCheck, within 0x100): +5 and +0xC the name
// offset, +0x13 the error number, +0x17 calls the error routine (cdecl).
inline constexpr const char* DuplicateError =
    "8D 4E 45 8D 85 ?? ?? 00 00 51 8D 8F ?? ?? 00 00 51 50 68 ?? ?? 00 00 E8 ?? ?? ?? ?? 83 C4 10";

} // namespace Quillmend::PackageLookupPatterns
