// Byte patterns of the compiler's file routines ("??" matches any byte): its
// file-age query and file search, the search lists, the output files, the
// run-time's text write and file buffer, and the outdated check; with the
// rewritten forms of the check's loops.
#pragma once

namespace Quillmend::CompilerFilePatterns {

// The file-age query (eax = path); +7 the variable holding the IDE's callback table.
inline constexpr const char* FileAge = "53 56 83 C4 D0 8B 15 ?? ?? ?? ?? 85 D2 74 08 50 FF 52 20 EB 55";
// The end of adding a file held in memory; +0x0F the list's head variable.
inline constexpr const char* MemoryFiles =
    "83 E1 03 F3 A4 5F 5E 89 7B 04 89 6B 08 8B 0D ?? ?? ?? ?? 89 0B 89 1D ?? ?? ?? ?? 5D 5F 5E 5B C3";
// The search of a file along the search lists.
inline constexpr const char* FileSearch =
    "55 8B EC 81 C4 E4 FE FF FF 53 56 57 89 4D F4 88 55 FB 89 45 FC 83 7D FC 00 8B 75 0C 74 0C 8B 45 FC 50 "
    "E8 ?? ?? ?? ??";
// A directory appended to a search list (al = kind, edx = directory).
inline constexpr const char* AddDir = "53 81 C4 F4 FD FF FF 88 04 24 8D 44 24 04 8B C8 8B C2 8B D1 E8 ?? ?? ?? ??";
// The search lists emptied; +8 the array of the 8 lists' heads.
inline constexpr const char* ClearDirs =
    "53 56 57 55 51 8B FC BD ?? ?? ?? ?? C6 07 00 80 3F 08 7D ?? 0F BE 07 8B 74 85 00 85 F6 74 ?? 8B DE";
// The two output-file creations (through the callback table's slots 0x04 and 0x08).
inline constexpr const char* Open1 = "53 56 57 8B F0 A1 ?? ?? ?? ?? 85 C0 74 ?? 56 FF 50 04";
inline constexpr const char* Open2 = "53 56 81 C4 FC FE FF FF 8B F0 A1 ?? ?? ?? ?? 85 C0 74 ?? 56 FF 50 08";

// The text write's line-feed loop; +0x5E calls the run-time's write (cdecl: file, buffer, count).
inline constexpr const char* MapWrite =
    "8B F7 33 C0 89 45 FC 33 D2 89 55 F8 EB 7D 8D 9D F8 FD FF FF EB 17 8A 06 46 3C 0A 75 0D FF 45 FC C6 03 0D "
    "43 C6 03 0A 43 EB 03 88 03 43 8D 95 F8 FD FF FF 8B CB 2B CA 81 F9 FF 01 00 00 7D 09 8B CE 2B CF 3B 4D 10 "
    "72 CE 8D 85 F8 FD FF FF 8B D3 2B D0 8D 8D F8 FD FF FF 52 51 8B 45 08 50 E8 ?? ?? ?? ?? 83 C4 0C 8D 95 F8 "
    "FD FF FF 2B DA";
// The run-time's set-file-buffer (cdecl: file, buffer, mode, size).
inline constexpr const char* SetBuffer =
    "55 8B EC 53 56 57 8B 7D 14 8B 75 10 8B 5D 08 3A 5B 17 75 0D 83 FE 02 7F 08 81 FF FF FF FF 7F 76 05";
// The resource list's file opened; +0x27 tests the file returned.
inline constexpr const char* DrcOpen =
    "83 38 02 74 0F 68 ?? ?? ?? ?? 6A ?? E8 ?? ?? ?? ?? 83 C4 08 BA ?? ?? ?? ?? B8 ?? ?? ?? ?? E8 ?? ?? ?? ?? "
    "89 44 24 04 83 7C 24 04 00 75 0F";

// The outdated check: the unit's files (+0x1A the file-age call, unit in esi, name in ecx).
inline constexpr const char* Outdated1 =
    "8B 00 85 C0 75 F3 85 C0 74 45 33 DB 85 DB 75 11 54 6A 00 8D 48 0B B2 03 33 C0 E8 ?? ?? ?? ?? 8B D8 3B 5E "
    "1C 72 29";
// The source's time in [ebp-0x0C] (+0x0E the file-age call), and the same tested first.
inline constexpr const char* Outdated2 =
    "33 DB 85 DB 74 64 8D 95 E4 FC FF FF 8B C3 E8 ?? ?? ?? ?? 83 7D F4 00 75 16 85 C0 74 12 89 45 F4";
inline constexpr const char* Outdated2Rewrite =
    "33 DB 85 DB 74 64 83 7D F4 00 75 23 8D 95 E4 FC FF FF 8B C3 E8 00 00 00 00 85 C0 74 12 89 45 F4";
// The compiled unit's time at 0x640 of the record in ebx (+0x12 the call; +6 kept).
inline constexpr const char* Outdated3 =
    "33 F6 85 F6 0F 84 ?? 02 00 00 8D 93 38 04 00 00 8B C6 E8 ?? ?? ?? ?? 83 BB 40 06 00 00 00 75 29 85 C0 74 "
    "25 89 83 40 06 00 00";
inline constexpr const char* Outdated3Rewrite =
    "33 F6 85 F6 0F 84 00 02 00 00 83 BB 40 06 00 00 00 75 36 8D 93 38 04 00 00 8B C6 E8 00 00 00 00 85 C0 74 "
    "25 89 83 40 06 00 00";
// The source's time in esi, in builds without the form above (+0x0E the call).
inline constexpr const char* Outdated4 =
    "33 DB 85 DB 74 6D 8D 95 DC FB FF FF 8B C3 E8 ?? ?? ?? ?? 85 F6 75 16 85 C0 74 12 8B F0";
inline constexpr const char* Outdated4Rewrite =
    "33 DB 85 DB 74 6D 85 F6 75 23 8D 95 DC FB FF FF 8B C3 E8 00 00 00 00 85 C0 74 12 8B F0";

} // namespace Quillmend::CompilerFilePatterns
