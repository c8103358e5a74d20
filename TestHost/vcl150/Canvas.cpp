// Graphics: TCanvas, a device context with a brush, a pen and a font, drawn
// on the GDI's way (each operation selects the tools it uses and puts the
// context's own back, so a tool can be changed or freed at any time);
// TBitmapCanvas, the canvas of a bitmap (a memory context holding the
// bitmap, made when drawing starts and released when the bitmap changes);
// and Rect.
#include "Common/HostClass.h"
#include "Graphics.h"
#include "VclClasses.h"
#include "VclInternal.h"

using namespace QmHost;
using namespace Vcl;

QM_HOST_CLASS(vcl_TCanvas_Class, CanvasSlot::Count);
QM_HOST_CLASS(vcl_TBitmapCanvas_Class, CanvasSlot::Count);

extern "C" {
void* vcl_TCanvas_ClassVar = nullptr;
void* vcl_TBitmapCanvas_ClassVar = nullptr;
}

namespace {

HDC& Handle(void* canvas) { return Field<HDC>(canvas, CanvasLayout::Handle); }
void* Brush(void* canvas) { return Field<void*>(canvas, CanvasLayout::Brush); }
void* Pen(void* canvas) { return Field<void*>(canvas, CanvasLayout::Pen); }
void* Font(void* canvas) { return Field<void*>(canvas, CanvasLayout::Font); }

// A plain canvas draws on a context someone hands it (SetHandle).
void QM_HOST_REGISTER CanvasCreateHandle(void*) {}
void QM_HOST_REGISTER CanvasFreeHandle(void* self) { Handle(self) = nullptr; }

void QM_HOST_REGISTER CanvasDestroy(void* self, int outermost) {
  DestructorStart(self, outermost);
  Virtual<TSelfFn>(self, CanvasSlot::FreeHandle)(self);
  FreeObject(Brush(self));
  FreeObject(Pen(self));
  FreeObject(Font(self));
  InheritedDestroy(self, vcl_TCanvas_Class);
  DestructorEnd(self, outermost);
}

// The bitmap's handle selected into a memory context of its own (an armed
// failure stands for a context the system refuses).
void QM_HOST_REGISTER BitmapCanvasCreateHandle(void* self) {
  if (TakeArmedBitmapFailure()) RaiseError(vcl_EOutOfResources_Class, L"Out of system resources");
  HBITMAP bitmap = vcl_TBitmap_GetHandle(Field<void*>(self, BitmapCanvasLayout::Bitmap));
  HDC dc = CreateCompatibleDC(nullptr);
  if (bitmap) Field<HGDIOBJ>(self, BitmapCanvasLayout::OldBitmap) = SelectObject(dc, bitmap);
  Handle(self) = dc;
}

void QM_HOST_REGISTER BitmapCanvasFreeHandle(void* self) {
  HDC dc = Handle(self);
  if (!dc) return;
  HGDIOBJ& old = Field<HGDIOBJ>(self, BitmapCanvasLayout::OldBitmap);
  if (old) SelectObject(dc, old);
  old = nullptr;
  DeleteDC(dc);
  Handle(self) = nullptr;
}

// The context to draw on; a canvas that cannot make one raises.
HDC RequireHandle(void* self) {
  if (!Handle(self)) Virtual<TSelfFn>(self, CanvasSlot::CreateHandle)(self);
  if (!Handle(self)) RaiseError(vcl_Exception_ClassVar, L"Canvas does not allow drawing");
  return Handle(self);
}

// Selects the tools an operation uses; the destructor-free way back is Restore.
struct TSelection {
  HDC Dc;
  HGDIOBJ Pen = nullptr, Brush = nullptr, Font = nullptr;
};
TSelection Select(void* self, bool pen, bool brush, bool font) {
  TSelection s{RequireHandle(self)};
  if (pen) s.Pen = SelectObject(s.Dc, PenHandle(Pen(self)));
  if (brush) s.Brush = SelectObject(s.Dc, BrushHandle(Brush(self)));
  if (font) s.Font = SelectObject(s.Dc, FontHandle(Font(self)));
  return s;
}
void Restore(const TSelection& s) {
  if (s.Pen) SelectObject(s.Dc, s.Pen);
  if (s.Brush) SelectObject(s.Dc, s.Brush);
  if (s.Font) SelectObject(s.Dc, s.Font);
}

bool BuildCanvases() {
  vcl_TCanvas_ClassVar = HostClassBuilder(vcl_TCanvas_Class_Storage, "TCanvas")
                             .Parent(&vcl_TPersistent_ClassVar)
                             .InstanceSize(CanvasLayout::Size)
                             .Virtual(CanvasSlot::CreateHandle, reinterpret_cast<void*>(&CanvasCreateHandle))
                             .Virtual(CanvasSlot::FreeHandle, reinterpret_cast<void*>(&CanvasFreeHandle))
                             .Virtual(CanvasSlot::FillRect, reinterpret_cast<void*>(&vcl_TCanvas_FillRect))
                             .Root(kVmtDestroy, reinterpret_cast<void*>(&CanvasDestroy))
                             .TypeInfo("Graphics")
                             .Build();
  if (!vcl_TCanvas_ClassVar) return false;
  vcl_TBitmapCanvas_ClassVar =
      HostClassBuilder(vcl_TBitmapCanvas_Class_Storage, "TBitmapCanvas")
          .Parent(&vcl_TCanvas_ClassVar)
          .InstanceSize(BitmapCanvasLayout::Size)
          .Virtual(CanvasSlot::CreateHandle, reinterpret_cast<void*>(&BitmapCanvasCreateHandle))
          .Virtual(CanvasSlot::FreeHandle, reinterpret_cast<void*>(&BitmapCanvasFreeHandle))
          .Build();
  return vcl_TBitmapCanvas_ClassVar != nullptr;
}

const VclClassRegistration kCanvases{"TCanvas TBitmapCanvas", "TPersistent", &BuildCanvases};

} // namespace

namespace Vcl {

void* NewBitmapCanvas(void* bitmap) {
  void* canvas = vcl_TCanvas_Create(vcl_TBitmapCanvas_ClassVar, 1);
  Field<void*>(canvas, BitmapCanvasLayout::Bitmap) = bitmap;
  return canvas;
}

void ReleaseCanvasHandle(void* canvas) {
  if (canvas) Virtual<TSelfFn>(canvas, CanvasSlot::FreeHandle)(canvas);
}

} // namespace Vcl

extern "C" {

void* QM_HOST_REGISTER vcl_TCanvas_Create(void* classOrSelf, int alloc) {
  void* self = ConstructorStart(classOrSelf, alloc);
  Field<void*>(self, CanvasLayout::Brush) = vcl_TBrush_Create(vcl_TBrush_ClassVar, 1);
  Field<void*>(self, CanvasLayout::Pen) = NewPen();
  Field<void*>(self, CanvasLayout::Font) = NewFont();
  ConstructorEnd(self, alloc);
  return self;
}

HDC QM_HOST_REGISTER vcl_TCanvas_GetHandle(void* self) { return RequireHandle(self); }

void QM_HOST_REGISTER vcl_TCanvas_SetHandle(void* self, HDC dc) {
  if (Handle(self) != dc) Virtual<TSelfFn>(self, CanvasSlot::FreeHandle)(self);
  Handle(self) = dc;
}

void QM_HOST_REGISTER vcl_TCanvas_FillRect(void* self, const TRect* rect) {
  const RECT r = {rect->Left, rect->Top, rect->Right, rect->Bottom};
  FillRect(RequireHandle(self), &r, BrushHandle(Brush(self)));
}

void QM_HOST_REGISTER vcl_TCanvas_FrameRect(void* self, const TRect* rect) {
  const RECT r = {rect->Left, rect->Top, rect->Right, rect->Bottom};
  FrameRect(RequireHandle(self), &r, BrushHandle(Brush(self)));
}

void QM_HOST_REGISTER vcl_TCanvas_Rectangle(void* self, int32_t x1, int32_t y1, int32_t y2, int32_t x2) {
  const TSelection s = Select(self, true, true, false);
  Rectangle(s.Dc, x1, y1, x2, y2);
  Restore(s);
}

void QM_HOST_REGISTER vcl_TCanvas_TextOut(void* self, int32_t x, int32_t y, const wchar_t* text) {
  const TSelection s = Select(self, false, false, true);
  SetTextColor(s.Dc, FontColor(Font(self)));
  if (Field<int32_t>(Brush(self), BrushLayout::Style) == 1) {
    SetBkMode(s.Dc, TRANSPARENT);
  } else {
    SetBkMode(s.Dc, OPAQUE);
    SetBkColor(s.Dc, vcl_ColorToRGB(Field<int32_t>(Brush(self), BrushLayout::Color)));
  }
  TextOutW(s.Dc, x, y, text ? text : L"", text ? lstrlenW(text) : 0);
  Restore(s);
}

void QM_HOST_REGISTER vcl_TCanvas_TextExtent(void* self, const wchar_t* text, SIZE* result) {
  const TSelection s = Select(self, false, false, true);
  SIZE size = {0, 0};
  GetTextExtentPoint32W(s.Dc, text ? text : L"", text ? lstrlenW(text) : 0, &size);
  Restore(s);
  *result = size;
}

// procedure Draw(X, Y: Integer; Graphic: TGraphic) — at the graphic's own size.
void QM_HOST_REGISTER vcl_TCanvas_Draw(void* self, int32_t x, int32_t y, void* graphic) {
  if (!graphic) return;
  using TGetSize = int32_t(QM_HOST_REGISTER*)(void*);
  const int32_t width = Virtual<TGetSize>(graphic, GraphicSlot::GetWidth)(graphic);
  const int32_t height = Virtual<TGetSize>(graphic, GraphicSlot::GetHeight)(graphic);
  const TRect r = {x, y, x + width, y + height};
  Virtual<void(QM_HOST_REGISTER*)(void*, void*, const TRect*)>(graphic, GraphicSlot::Draw)(graphic, self, &r);
}

void QM_HOST_REGISTER vcl_TCanvas_StretchDraw(void* self, const TRect* rect, void* graphic) {
  if (graphic)
    Virtual<void(QM_HOST_REGISTER*)(void*, void*, const TRect*)>(graphic, GraphicSlot::Draw)(graphic, self, rect);
}

void QM_HOST_REGISTER vcl_TCanvas_CopyRect(void* self, const TRect* dest, void* canvas, const TRect* source) {
  HDC target = RequireHandle(self);
  StretchBlt(target, dest->Left, dest->Top, dest->Right - dest->Left, dest->Bottom - dest->Top, RequireHandle(canvas),
             source->Left, source->Top, source->Right - source->Left, source->Bottom - source->Top, SRCCOPY);
}

int32_t QM_HOST_REGISTER vcl_TCanvas_GetPixel(void* self, int32_t x, int32_t y) {
  return int32_t(GetPixel(RequireHandle(self), x, y));
}

// function Rect(ALeft, ATop, ARight, ABottom: Integer): TRect
void QM_HOST_REGISTER vcl_Rect(int32_t left, int32_t top, int32_t right, TRect* result, int32_t bottom) {
  *result = TRect{left, top, right, bottom};
}

} // extern "C"
