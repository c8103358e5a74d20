// Byte patterns of code insight's routines ("??" matches any byte): the
// unit-cache reset inside the IDE's code completion (+0x33 its virtual
// call), and the compiler's counter of code-insight compiles (+1 the
// variable read, +7 the variable counted; the counter only when they agree).
#pragma once

#include <cstdint>

namespace Quillmend::KibitzPatterns {

inline constexpr const char* InvokeCompletionReset =
    "01 75 3D 8B 15 ?? ?? ?? ?? 8B 85 ?? ?? ?? ?? E8 ?? ?? ?? ?? 8B 85 ?? ?? ?? ?? C6 40 ?? 01 C6 85 ?? ?? ?? ?? "
    "00 8B 85 ?? ?? ?? ?? 8B 80 ?? ?? ?? ?? 8B 10 FF 52 ?? E8 ?? ?? ?? ??";
// Searched from the export within this many bytes.
inline constexpr int32_t InvokeCompletionWindow = 0x2000;
// The cache's virtual call, relative to the match.
inline constexpr int32_t CacheClearCall = 0x33;

inline constexpr const char* CodeInsightCounter = "A1 ?? ?? ?? ?? FF 05 ?? ?? ?? ?? C3 C3";

} // namespace Quillmend::KibitzPatterns
