// Byte patterns of the C++ compiler routines the patches locate in
// comp32x.dll ("??" matches any byte).
#pragma once

#include <cstdint>

namespace Quillmend::CppCompilerPatterns {

// Searched in the module, up to 0x10000 (the whole module).
constexpr int32_t ModuleSearch = 0x10000;
// The allocation and globals patterns lie this close behind the intern function.
constexpr int32_t InternWindow = 768;

// Identifier interning (cdecl: name → node).
inline constexpr const char* InternFunction =
    "55 8b ec 83 c4 f0 33 c0 33 d2 53 56 57 8b 75 08 89 45 fc 8b c6 89 55 f4 eb 1a 81 e2 ff 00 00 00 "
    "81 fa ff 00 00 00";
// +12 calls the allocator (length + 19, 250).
inline constexpr const char* InternAllocation =
    "68 fa 00 00 00 8b 45 f8 83 c0 13 50 e8 ?? ?? ?? ?? 8b d8 33 c0 33 d2 83 c4 08 89 03 89 53 04 "
    "c7 43 0c ff ff ff ff c6 43 10 00";
// +16 the hash variable, +22 the length variable, +36 the bucket table.
inline constexpr const char* InternGlobals =
    "8b 45 f4 8b 7d f4 8b 4d f8 81 e7 ff 7f 00 00 a3 ?? ?? ?? ?? 89 0d ?? ?? ?? ?? c1 e7 02 8a 06 "
    "88 45 f3 81 c7 ?? ?? ?? ?? eb 47";
constexpr int32_t AllocatorCall = 12;
constexpr int32_t HashVariable = 16;
constexpr int32_t LengthVariable = 22;
constexpr int32_t BucketTable = 36;

// The debug-symbol lookup (cdecl: name record, flag); +31 the current-context variable.
inline constexpr const char* SymbolLookup =
    "55 8b ec 83 c4 f4 53 56 57 8b 7d 08 57 e8 ?? ?? ?? ?? 59 89 45 f8 a1 ?? ?? ?? ?? 89 45 f4 a1 ?? ?? ?? ?? "
    "85 c0 74 12 83 b8 2c 01 00 00 00 74 09 83 b8 c0 00 00 00 00";
constexpr int32_t ContextVariable = 31;

// The context release; +14 "mov edx,[eax+0xB8]" (6 bytes) with the context in eax.
inline constexpr const char* ContextRelease =
    "53 a1 ?? ?? ?? ?? 85 c0 0f 84 c2 00 00 00 8b 90 b8 00 00 00 85 d2 74 07 52 e8 ?? ?? ?? ?? 59 "
    "8b 0d ?? ?? ?? ?? 8b 81 00 01 00 00";
constexpr int32_t ContextBufferLoad = 14;

// The compiler's stricmp (cdecl).
inline constexpr const char* Stricmp =
    "55 8b ec 51 53 56 57 8b 7d 08 33 db 8a 1f 47 81 fb 80 00 00 00 73 1e 81 fb 80 00 00 00 73 16 53 "
    "e8 ?? ?? ?? ?? 59 85 c0 74 0b 8b f3 56 e8 ?? ?? ?? ?? 59";

// A call of ltolower on bl (+9), its result into ebx: 15 bytes up to the pop.
inline constexpr const char* LtolowerCallSite = "8b fb 81 e7 ff 00 00 00 57 e8 ?? ?? ?? ?? 59 8b d8 83 fb 6c";
constexpr int32_t LtolowerCall = 9;
// ltolower itself; +45 the lower-case table.
inline constexpr const char* Ltolower =
    "55 8b ec 33 d2 51 89 55 fc a1 ?? ?? ?? ?? 83 7d 08 ff 75 06 83 c8 ff 59 5d c3 83 78 08 00 74 14 "
    "8b 55 08 81 e2 ff 00 00 00 33 c0 8a 82 ?? ?? ?? ?? 59 5d";
constexpr int32_t LowerTable = 45;

}  // namespace Quillmend::CppCompilerPatterns
