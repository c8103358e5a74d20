// The editor kernel's bracket search loop (boreditu.dll) as the bracket
// matching fix finds it: three patterns at fixed distances, each holding one
// of the three calls the fix takes over.
#pragma once

namespace Quillmend {
namespace ParanMatchingPatterns {

// The loop's start, anywhere in the module; call site 1 (the sought token's
// length) at +10, the advance step at +19.
constexpr const char* Start =
    "89 4D D8 89 45 D4 8D 46 2C 50 E8 ?? ?? ?? ?? 59 89 45 D0 0F BF 4D DE 01 4D D8 8B 4D D8 3B 4D D4 77 05 3B "
    "7D D8 76 58";
constexpr int StartWindow = 0;  // the whole module
constexpr int TokenLengthCall = 10;

// The comparison with the sought token, within 128 bytes of the start; call site 2 at +14.
constexpr const char* Compare = "EB A8 0F BF C3 50 8B 55 E8 52 8B 4D D8 51 E8 ?? ?? ?? ?? 83 C4 0C 85 C0 75 1D";
constexpr int CompareWindow = 128;
constexpr int CompareCall = 14;

// The nesting check (a second token, when the host's flag is set), within
// 64 bytes of the comparison; call site 3 at +27.
constexpr const char* Nesting =
    "E9 5F FF FF FF 80 7D E3 00 0F 84 55 FF FF FF 0F BF C3 50 8B 55 EC 52 8B 4D D8 51 E8 ?? ?? ?? ?? 83 C4 0C 85 "
    "C0 0F 85 39 FF FF FF";
constexpr int NestingWindow = 64;
constexpr int NestingCall = 27;

} // namespace ParanMatchingPatterns
} // namespace Quillmend
