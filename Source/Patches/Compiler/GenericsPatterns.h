// Byte patterns of the compiler's generics and linker routines ("??" matches any byte).
#pragma once

namespace Quillmend::GenericsPatterns {

// Search loop over the instantiations at 0x140 (+8 the offset, +0x13 the key's
// offset 0x18 in the record, +0x21 calls match routine 1).
inline constexpr const char* Instance1 =
    "8B 35 ?? ?? ?? ?? 81 C6 ?? ?? 00 00 EB 20 8B 53 04 8B 42 18 3B F8 75 14 8B 4D F8 51 8B CF 8B 52 1C E8 ?? ?? ?? ?? "
    "85 C0 74 02 EB 08 8B F3 8B 1E 85 DB 75 DA";
// The routine after which the instantiation lists may have lost nodes.
inline constexpr const char* Purge =
    "53 56 57 8B D8 80 3D ?? ?? ?? ?? 00 0F 85 ?? ?? 00 00 33 F6 8B 43 ?? 85 C0 74 ?? 8A 10 84 D2 74 0A 80 FA 06 74 05 "
    "80 FA 09 75 ??";
// Search loop over the instantiations at 0x144 (+8 the offset, +0x2A calls match routine 2).
inline constexpr const char* Instance2 =
    "8B 35 ?? ?? ?? ?? 81 C6 ?? ?? 00 00 EB 29 8B 43 08 3B 04 24 75 1F 3B 7B 0C 75 1A 8B 57 0C 52 8B D5 8B 4B 0C 8B 43 10 "
    "8B 49 0C E8 ?? ?? ?? ?? 85 C0 74 02 EB 08 8B F3 8B 1E 85 DB 75 D1";

// The linker's allocator: +0x20 the current pointer, +0x28 the limit, +0x39 calls the slow path.
inline constexpr const char* LinkerAlloc =
    "53 8B D8 F6 C3 03 74 17 68 ?? ?? ?? ?? 68 ?? ?? ?? ?? 68 ?? ?? ?? ?? E8 ?? ?? ?? ?? 83 C4 0C A1 ?? ?? ?? ?? 2B C3 "
    "3B 05 ?? ?? ?? ?? 72 09 A3 ?? ?? ?? ?? 5B C3 5B C3 8B C3 E8 ?? ?? ?? ?? 5B C3";
// Allocation of the match table (+1 its size in bytes).
inline constexpr const char* LinkerMatchTable = "B8 00 04 00 00 E8 ?? ?? ?? ?? A3 ?? ?? ?? ?? C3";
// Bucket selection (from the table's allocation, within 0x1000): +8 calls the
// key routine, +0xD loads the symbol's byte 2.
inline constexpr const char* LinkerBucket =
    "53 56 57 55 8B F8 8B C7 E8 ?? ?? ?? ?? 0F B6 77 02 C1 E6 02 8B E8 03 35 ?? ?? ?? ?? EB 1A";
// The two passes over all buckets (+0xF the bucket count).
inline constexpr const char* LinkerPass1 = "8B 79 04 89 78 0C 8B 00 85 C0 75 EB 42 81 FA 00 01 00 00 7C D6";
inline constexpr const char* LinkerPass2 = "8B 49 04 89 48 0C 8B 00 85 C0 75 EB 42 81 FA 00 01 00 00 7C D6";

} // namespace Quillmend::GenericsPatterns
