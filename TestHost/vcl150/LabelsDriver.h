// Labels, a control's parent, anchors, text and font size, and the
// application's splash form (vcl150.bpl, units StdCtrls, Controls, Graphics
// and Forms), declared once for the stand-ins, bds.exe and the tests.
//
// `@Stdctrls@TCustomLabel@` over `@Controls@TCustomControl@` (the stand-in's
// control with a canvas: +52 the canvas Paint draws on), 80 bytes: +56 Font
// (a TFont of its own), +60 Caption (host string), +64 Alignment (0 left,
// 1 right, 2 centre), +65 Transparent, +66 AutoSize, +68 Color, +72 the
// paints so far, +76 the repaints asked for. A control's anchors are kept in
// the byte after Visible (+49; a TWinControl's at its own +0x1C0); its
// parent is +28, and the parent's children are kept beside it by the
// library, in the order they were parented.
//
// The splash form: a TCustomForm named "SplashScreen", owned by the
// application object, whose window (a popup at 100, 100) paints the plain
// background `SplashBackground` and then each child control, first parented
// first, at its bounds.
#pragma once

#include <windows.h>

#include <cstdint>

namespace LabelsDriver {

namespace Export {
constexpr const char* LabelClass = "@Stdctrls@TCustomLabel@";
// constructor Create(AOwner): EAX class, DL alloc, ECX owner.
constexpr const char* LabelCreate = "@Stdctrls@TCustomLabel@$bctr$qqrp18Classes@TComponent";
constexpr const char* LabelPaint = "@Stdctrls@TCustomLabel@Paint$qqrv";                             // EAX self
constexpr const char* SetAlignment = "@Stdctrls@TCustomLabel@SetAlignment$qqr17Classes@TAlignment";  // DL
constexpr const char* SetTransparent = "@Stdctrls@TCustomLabel@SetTransparent$qqro";                 // DL
constexpr const char* SetAutoSize = "@Stdctrls@TCustomLabel@SetAutoSize$qqro";                       // DL
constexpr const char* SetText = "@Controls@TControl@SetText$qqrx20System@UnicodeString";             // EDX
constexpr const char* SetParent = "@Controls@TControl@SetParent$qqrp20Controls@TWinControl";         // EDX
constexpr const char* SetAnchors =
    "@Controls@TControl@SetAnchors$qqrx48System@%Set$t18Controls@TAnchorKind$iuc$0$iuc$3%";         // DL
constexpr const char* SetLeft = "@Controls@TControl@SetLeft$qqri";                                   // EDX
constexpr const char* SetTop = "@Controls@TControl@SetTop$qqri";                                     // EDX
constexpr const char* GetClientWidth = "@Controls@TControl@GetClientWidth$qqrv";                     // → EAX
constexpr const char* Repaint = "@Controls@TControl@Repaint$qqrv";
constexpr const char* FontSetSize = "@Graphics@TFont@SetSize$qqrxi";                                 // EDX points
constexpr const char* FontGetHeight = "@Graphics@TFont@GetHeight$qqrv";                              // → EAX
// Driver (stdcall).
constexpr const char* ShowSplash = "VclShowSplash";
constexpr const char* SplashForm = "VclSplashForm";
constexpr const char* CloseSplash = "VclCloseSplash";
constexpr const char* LabelState = "VclLabelState";
constexpr const char* ControlChildren = "VclControlChildren";
}  // namespace Export

namespace LabelLayout {
constexpr int Canvas = 52, Font = 56, Caption = 60, Alignment = 64, Transparent = 65, AutoSize = 66, Color = 68,
              Paints = 72, Repaints = 76, Size = 80;
}
constexpr int ControlAnchors = 49;
enum TAlignment : std::uint8_t { taLeftJustify = 0, taRightJustify = 1, taCenter = 2 };
// TAnchorKind's set, bit n for element n.
enum TAnchorBits : std::uint8_t { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };

// COLORREF of the splash form's background; its size.
constexpr COLORREF SplashBackground = RGB(0x20, 0x40, 0x80);
constexpr int SplashLeft = 100, SplashTop = 100, SplashWidth = 400, SplashHeight = 240;

struct TLabelState {
  int32_t Paints, Repaints;
  int32_t Left, Top, Width, Height;
  uint8_t Alignment, Transparent, AutoSize, Anchors;
  void* Parent;
  void* Font;
  const wchar_t* Caption;  // the label's host string, nil for ""
};

// The application's splash form with its window (made once; `withWindow` 0
// makes it without a window, as in a process without a display) → the form.
using ShowSplashFn = void*(__stdcall*)(int32_t withWindow);
using SplashFormFn = void*(__stdcall*)();  // nil while there is none
using CloseSplashFn = void(__stdcall*)();  // frees the form (and what it owns), destroys its window
using LabelStateFn = void(__stdcall*)(void* label, TLabelState* state);
// The children of a parent, first parented first: count, up to `max` into `children`.
using ControlChildrenFn = int32_t(__stdcall*)(void* parent, void** children, int32_t max);

}  // namespace LabelsDriver
