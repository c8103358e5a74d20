// The Help Insight code the pack finds in the IDE's core package (coreide150.bpl).
#pragma once

namespace Quillmend {
namespace HelpInsightPatterns {

// The parser thread's wait for work (Self, Timeout): the tick count taken,
// a wait on the event at +0x18 (its third virtual method), and, while the
// result is 4 (a message is pending), the application's messages processed
// and the tick count taken again before the next wait.
constexpr const char* WaitForWork =
    "53 56 57 83 C4 F0 8B F2 8B F8 E8 ?? ?? ?? ?? 33 D2 89 04 24 89 54 24 04 8B 47 18 8B D6 8B 08 FF 51 08 8B D8 "
    "80 FB 04 75 73 A1 ?? ?? ?? ?? 8B 00 E8 ?? ?? ?? ?? E8 ?? ?? ?? ??";
// Searched over this many bytes before the thread's constructor.
constexpr int WaitForWorkWindow = 512;

}  // namespace HelpInsightPatterns
}  // namespace Quillmend
