// The host's controls (vcl150.bpl) as the library calls them: labels and
// the properties of a control shown on a form, fonts and the few canvas
// operations a label's painting needs, and the application's components.
// The entry points are the library's exports, declared as sites of the plan
// that needs them and bound when it is published. Every call may raise a
// host exception.
#pragma once

#include <cstdint>
#include <windows.h>

#include "Framework/HostAbi.h"
#include "Framework/HostGraphics.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// A control's fields (TControl), and a label's font (in the host layout the
// label keeps it; the canvas Paint draws on comes first).
namespace HostControlLayout {
constexpr int Parent = 28;
constexpr int Left = 32;
constexpr int Top = 36;
constexpr int Width = 40;
constexpr int Height = 44;
constexpr int Canvas = 52;
constexpr int Font = 56;
}  // namespace HostControlLayout
namespace HostControlSlot {
constexpr int Paint = 8;  // procedure Paint; virtual
}
namespace HostCanvasTools {
constexpr int Brush = 8, Pen = 12, Font = 16;
}

enum THostAlignment : uint8_t { taLeftJustify = 0, taRightJustify = 1, taCenter = 2 };
// TAnchors, bit n for TAnchorKind n (akLeft, akTop, akRight, akBottom).
constexpr uint8_t HostAnchorTop = 2, HostAnchorRight = 4;
constexpr int32_t HostFontBold = 1;  // TFontStyles
constexpr int32_t HostBrushClear = 1, HostPenSolid = 0;

struct THostControlSites {
  TSiteRef LabelClass, LabelCreate, SetAlignment, SetTransparent, SetAutoSize, SetText, SetParent, SetAnchors, SetLeft,
      SetTop, GetClientWidth, Repaint, FontSetName, FontSetColor, FontSetStyle, FontSetSize, FontGetHeight,
      BrushSetStyle, PenSetColor, PenSetStyle, CanvasGetHandle, CanvasRectangle, CanvasTextExtent, CanvasCopyRect,
      Application, FindComponent, SetName;
};
THostControlSites DeclareHostControls(TPatchPlan& plan);
void BindHostControls(const TPlanValues& values, const THostControlSites& sites);

// The label class (the export is the class reference itself).
void* HostLabelClass();
// TCustomLabel.Create(Owner) for `classRef` (the label class or a descendant).
void* NewHostLabel(void* classRef, void* owner);
void HostSetAlignment(void* label, THostAlignment alignment);
void HostSetTransparent(void* label, bool value);
void HostSetAutoSize(void* label, bool value);
void HostSetText(void* control, const wchar_t* hostText);
void HostSetParent(void* control, void* parent);
void HostSetAnchors(void* control, uint8_t anchors);
void HostSetLeft(void* control, int32_t left);
void HostSetTop(void* control, int32_t top);
int32_t HostClientWidth(void* control);
void HostRepaint(void* control);
int32_t HostControlField(void* control, int offset);
void* HostControlFont(void* label);

void HostFontSetName(void* font, const wchar_t* hostName);
void HostFontSetColor(void* font, int32_t color);
void HostFontSetStyle(void* font, int32_t style);
void HostFontSetSize(void* font, int32_t points);
int32_t HostFontHeight(void* font);

HDC HostCanvasHandle(void* canvas);
void HostCanvasBrushStyle(void* canvas, int32_t style);
void HostCanvasPen(void* canvas, int32_t color, int32_t style);
void HostCanvasRectangle(void* canvas, const THostRect& rect);
SIZE HostCanvasTextExtent(void* canvas, const wchar_t* hostText);
void HostCanvasCopyRect(void* canvas, const THostRect& dest, void* source, const THostRect& sourceRect);

// The application object (nil before the library made it).
void* HostApplication();
// TComponent.FindComponent: the owned component of that name, or nil.
void* HostFindComponent(void* owner, const wchar_t* hostName);
void HostSetName(void* component, const wchar_t* hostName);

}  // namespace Quillmend
