// "Compiler.WarnLoadResString": the compiler loads a resource text for
// warnings 46 and 47 before it asks its warning filter whether they are
// shown at all; the two warnings now run only when the filter would let
// them through. The compiler's message list loads the same header text for
// every warning line; its load is answered from a one-entry cache.
// Installed at the expert entry.
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

namespace WarnLoadResStringPatterns {
// The warning filter: +5 the warnings' flag byte (bit 0x40: on), +0x16 a
// 32-bit switch (nonzero: none shown), +0x2A the table of enabled warnings
// (a byte per number).
inline constexpr const char* Filter =
    "33 C0 55 F6 05 ?? ?? ?? ?? 40 8B EC 53 56 0F 84 ?? 00 00 00 83 3D ?? ?? ?? ?? 00 0F 85 ?? 00 00 00 0F BE 55 "
    "08 8D 5D 0C 80 BA ?? ?? ?? ?? 00 0F 84 ?? 00 00 00";
inline constexpr int32_t FilterFlags = 0x05;
inline constexpr int32_t FilterSwitch = 0x16;
inline constexpr int32_t FilterTable = 0x2A;
// Warning 46 (the number pushed at +0x29, its byte at +0x2A).
inline constexpr const char* Warn46 =
    "81 C4 00 FF FF FF 83 C0 ?? 33 D2 8A 10 83 FA 41 7D 0C 8B D4 B8 ?? ?? 00 00 E8 ?? ?? ?? ?? 68 ?? ?? ?? ?? 68 "
    "?? ?? ?? ?? 50 6A 2E E8 ?? ?? ?? ?? 83 C4 10 81 C4 00 01 00 00 C3";
inline constexpr int32_t Warn46Number = 0x2A;
// Warning 47 (its number's byte at +0x14).
inline constexpr const char* Warn47 =
    "53 81 C4 00 FF FF FF 8B D8 8B D4 8B C3 E8 ?? ?? ?? ?? 50 6A 2F E8 ?? ?? ?? ?? 83 C4 08 81 C4 00 01 00 00 5B "
    "C3";
inline constexpr int32_t Warn47Number = 0x14;
// The message list: +0x17 loads a resource text (eax = id, edx = the caller's buffer).
inline constexpr const char* MessageList =
    "B8 00 00 01 00 E8 ?? ?? ?? ?? 8B F0 EB 22 8D 54 24 ?? B8 ?? ?? 00 00 E8 ?? ?? ?? ?? 8B D8 53 E8 ?? ?? ?? ?? "
    "59 8B D0 8B C3 E8 ?? ?? ?? ?? 8B F0 E8 ?? ?? ?? ?? 8B F0 E8 ?? ?? ?? ??";
inline constexpr int32_t MessageListLoad = 0x17;
} // namespace WarnLoadResStringPatterns

// Whether the compiler's filter would show warning `number` now.
bool WarningShown(int32_t number);
// Warnings 46 and 47 (eax: their argument) through the host's routines only
// when shown; otherwise 0, the filter's answer for a hidden warning.
int32_t QM_REGISTER GuardedWarn46(const void* argument);
int32_t QM_REGISTER GuardedWarn47(const void* argument);
// The compiler's LoadResString (eax = id, edx = the caller's buffer): the
// same id as last time answers the text loaded then; a new one is loaded
// into this module's buffer. The caller's buffer is not used.
const char* QM_REGISTER CachedLoadResString(uint32_t id, char* buffer);

std::vector<TPatchPlan> WarnLoadResStringPatchPlans();
void InstallWarnLoadResStringPatch();

extern const TUnitInfo Unit_WarnLoadResStringPatch;

} // namespace Quillmend
