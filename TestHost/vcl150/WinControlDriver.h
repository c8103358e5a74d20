// The stand-in windowed control (vcl150.bpl, unit Controls), declared once
// for the stand-ins, the tests and the benchmarks.
//
// `@Controls@TWinControl@` over `@Controls@TControl@` (TControl 52 bytes;
// TWinControl 0x1F0 bytes): +0x1EA a byte, non-zero while the control is
// shown on its parent (a page control's tab sheets: only the active one).
#pragma once

namespace WinControlDriver {

namespace Export {
constexpr const char* ControlClass = "@Controls@TControl@";
constexpr const char* WinControlClass = "@Controls@TWinControl@";
}  // namespace Export

namespace ControlLayout {
constexpr int Size = 52;
}
namespace WinControlLayout {
constexpr int Showing = 0x1EA, Size = 0x1F0;
}

}  // namespace WinControlDriver
