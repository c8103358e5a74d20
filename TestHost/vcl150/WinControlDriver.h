// The stand-in windowed control and panel (vcl150.bpl, units Controls and
// ExtCtrls), declared once for the stand-ins, the tests and the benchmarks.
//
// `@Controls@TWinControl@` over `@Controls@TControl@` (TControl 52 bytes:
// +28 Parent, +32 Left, +36 Top, +40 Width, +44 Height, +48 Visible);
// TWinControl 0x1F0 bytes: +56 the window (as a form's; 0 while it has
// none, the stand-in makes none), +0x1C0 Anchors (a set: 1 left, 2 top, 4 right,
// 8 bottom), +0x1C1 Align (0 none, 1 top, 2 bottom, 3 left, 4 right, 5
// client), +0x1C4 the margins kept when aligned (all four), +0x1C8 Caption
// (a host string), +0x1CC Color, +0x1D0 a list's items (a host string of
// comma text), +0x1EA a byte, non-zero while the control is shown on its
// parent (a page control's tab sheets: only the active one).
// `@Extctrls@TPanel@` over TWinControl, same layout. Constructors
// `…$bctr$qqrp18Classes@TComponent` (EAX = class, DL = 1, ECX = owner):
// visible and shown. The stand-in acts on neither anchors nor alignment.
#pragma once

#include <cstdint>

namespace WinControlDriver {

namespace Export {
constexpr const char* ControlClass = "@Controls@TControl@";
constexpr const char* WinControlClass = "@Controls@TWinControl@";
constexpr const char* WinControlCreate = "@Controls@TWinControl@$bctr$qqrp18Classes@TComponent";
constexpr const char* PanelClass = "@Extctrls@TPanel@";
constexpr const char* PanelCreate = "@Extctrls@TPanel@$bctr$qqrp18Classes@TComponent";
}  // namespace Export

namespace ControlLayout {
constexpr int Parent = 28, Left = 32, Top = 36, Width = 40, Height = 44, Visible = 48, Size = 52;
}
namespace WinControlLayout {
constexpr int Handle = 56, Anchors = 0x1C0, Align = 0x1C1, Margins = 0x1C4, Caption = 0x1C8, Color = 0x1CC, Items = 0x1D0,
              Showing = 0x1EA, Size = 0x1F0;
}
enum TAnchor : std::uint8_t { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
enum TAlign : std::uint8_t { alNone = 0, alTop = 1, alBottom = 2, alLeft = 3, alRight = 4, alClient = 5 };

}  // namespace WinControlDriver
