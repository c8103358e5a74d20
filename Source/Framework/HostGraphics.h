// The host's graphics library (vcl150.bpl) as patches call it: bitmap
// objects made, sized, filled, made dormant and freed the host's way. The
// entry points are the library's exports, declared as sites of the plan that
// needs them (a host without one fails that patch with a reason) and bound
// when the plan is published; virtual methods are called through the slots
// of the host's classes. Every call may raise a host exception.
#pragma once

#include <cstdint>
#include <windows.h>

#include "Framework/HostAbi.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// Virtual method slots (slot n at class reference + 4n) and instance fields.
namespace HostGraphicsSlot {
constexpr int PersistentAssign = 2;  // TPersistent.Assign(Source)
constexpr int GraphicGetHeight = 6;  // TGraphic.GetHeight
constexpr int GraphicGetWidth = 7;   // TGraphic.GetWidth
constexpr int GraphicSetSize = 10;   // TGraphic.SetSize(AWidth, AHeight)
constexpr int CanvasFillRect = 5;    // TCanvas.FillRect(const Rect)
}  // namespace HostGraphicsSlot
namespace HostCanvasLayout {
constexpr int Brush = 8;  // TCanvas.FBrush
}

// System colours as the host's TColor writes them.
constexpr int32_t HostColorBtnFace = int32_t(0xFF00000F);

struct THostRect {
  int32_t Left, Top, Right, Bottom;
};

// The exports a plan resolves for the calls below.
struct THostGraphicsSites {
  TSiteRef BitmapClass, BitmapCreate, BitmapGetCanvas, BitmapSetHandle, BitmapDormant, BrushSetColor, ObjectFree;
};
THostGraphicsSites DeclareHostGraphics(TPatchPlan& plan);
// Binds the calls to what the plan found (at its publication).
void BindHostGraphics(const TPlanValues& values, const THostGraphicsSites& sites);

// TBitmap.Create: an empty bitmap object.
void* NewHostBitmap();
void HostSetSize(void* graphic, int32_t width, int32_t height);
int32_t HostGraphicWidth(void* graphic);
int32_t HostGraphicHeight(void* graphic);
void* HostBitmapCanvas(void* bitmap);
void HostSetBrushColor(void* canvas, int32_t color);
void HostFillRect(void* canvas, const THostRect& rect);
// The bitmap takes over the handle (and frees the one it had).
void HostSetBitmapHandle(void* bitmap, HBITMAP handle);
// The image kept in memory, the GDI handle released until it is needed.
void HostDormant(void* bitmap);
// TPersistent.Assign through the object's class (Assign(nil) empties a bitmap).
void HostAssign(void* persistent, void* source);
// TObject.Free (nil is fine).
void HostFree(void* object);

} // namespace Quillmend
