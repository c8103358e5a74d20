// Graphics: TGraphic (the size and drawing protocol of every graphic) and
// TBitmap, a device-compatible bitmap with a canvas. A bitmap's handle is
// made when it is sized or first needed; Dormant keeps the image in memory
// and releases the handle until it is needed again; Assign(nil) empties it.
#include "Common/HostClass.h"
#include "Graphics.h"
#include "VclClasses.h"
#include "VclInternal.h"

using namespace QmHost;
using namespace Vcl;

QM_HOST_CLASS(vcl_TGraphic_Class, GraphicSlot::Count);
QM_HOST_CLASS(vcl_TBitmap_Class, GraphicSlot::Count);

extern "C" {
void* vcl_TGraphic_ClassVar = nullptr;
void* vcl_TBitmap_ClassVar = nullptr;
}

namespace {

using TGetFn = int32_t(QM_HOST_REGISTER*)(void*);
using TSetFn = void(QM_HOST_REGISTER*)(void*, int32_t);

// ---- TGraphic: what a graphic without an image answers --------------------------
void QM_HOST_REGISTER GraphicChanged(void* self, void*) { Field<int32_t>(self, GraphicLayout::Modified) = 1; }
void QM_HOST_REGISTER GraphicDraw(void*, void*, const TRect*) {}
int32_t QM_HOST_REGISTER GraphicGetEmpty(void*) { return 1; }
int32_t QM_HOST_REGISTER GraphicGetZero(void*) { return 0; }
void QM_HOST_REGISTER GraphicSetNothing(void*, int32_t) {}
void QM_HOST_REGISTER GraphicSetSize(void* self, int32_t width, int32_t height) {
  Virtual<TSetFn>(self, GraphicSlot::SetWidth)(self, width);
  Virtual<TSetFn>(self, GraphicSlot::SetHeight)(self, height);
}
void QM_HOST_REGISTER GraphicStreamUnsupported(void*, void*) {
  RaiseError(vcl_Exception_ClassVar, L"Stream operations are not supported by this graphic");
}

// ---- TBitmap --------------------------------------------------------------------
HBITMAP& Handle(void* b) { return Field<HBITMAP>(b, BitmapLayout::Handle); }
int32_t& Width(void* b) { return Field<int32_t>(b, BitmapLayout::Width); }
int32_t& Height(void* b) { return Field<int32_t>(b, BitmapLayout::Height); }
uint32_t*& Image(void* b) { return Field<uint32_t*>(b, BitmapLayout::Image); }
void* Canvas(void* b) { return Field<void*>(b, BitmapLayout::Canvas); }

void FreeImage(void* self) {
  Rtl().freeMem(Image(self));
  Image(self) = nullptr;
}

// Handle and image gone; the size stays.
void ReleaseContents(void* self) {
  ReleaseCanvasHandle(Canvas(self));
  if (Handle(self)) DeleteObject(Handle(self));
  Handle(self) = nullptr;
  FreeImage(self);
}

void Changed(void* self) {
  Virtual<void(QM_HOST_REGISTER*)(void*, void*)>(self, GraphicSlot::Changed)(self, self);
}

void QM_HOST_REGISTER BitmapDestroy(void* self, int outermost) {
  DestructorStart(self, outermost);
  ReleaseContents(self);
  FreeObject(Canvas(self));
  Field<void*>(self, BitmapLayout::Canvas) = nullptr;
  InheritedDestroy(self, vcl_TBitmap_Class);
  DestructorEnd(self, outermost);
}

void QM_HOST_REGISTER BitmapDraw(void* self, void* canvas, const TRect* rect) {
  if (Width(self) <= 0 || Height(self) <= 0) return;
  HDC source = vcl_TCanvas_GetHandle(vcl_TBitmap_GetCanvas(self));
  StretchBlt(vcl_TCanvas_GetHandle(canvas), rect->Left, rect->Top, rect->Right - rect->Left,
             rect->Bottom - rect->Top, source, 0, 0, Width(self), Height(self), SRCCOPY);
}

int32_t QM_HOST_REGISTER BitmapGetEmpty(void* self) { return Width(self) <= 0 || Height(self) <= 0; }
void QM_HOST_REGISTER BitmapSetWidth(void* self, int32_t width) { vcl_TBitmap_SetSize(self, width, Height(self)); }
void QM_HOST_REGISTER BitmapSetHeight(void* self, int32_t height) { vcl_TBitmap_SetSize(self, Width(self), height); }

// procedure Assign(Source: TPersistent); override — nil empties the bitmap
// (its handle is freed), a bitmap is copied, anything else is the
// persistent's business.
void QM_HOST_REGISTER BitmapAssign(void* self, void* source) {
  if (!source) {
    ReleaseContents(self);
    Width(self) = Height(self) = 0;
    Changed(self);
    return;
  }
  if (ClassOf(source) == vcl_TBitmap_ClassVar || HostParentClass(ClassOf(source)) == vcl_TBitmap_ClassVar) {
    vcl_TBitmap_SetSize(self, Width(source), Height(source));
    if (Width(source) > 0 && Height(source) > 0)
      BitBlt(vcl_TCanvas_GetHandle(vcl_TBitmap_GetCanvas(self)), 0, 0, Width(source), Height(source),
             vcl_TCanvas_GetHandle(vcl_TBitmap_GetCanvas(source)), 0, 0, SRCCOPY);
    Changed(self);
    return;
  }
  vcl_TPersistent_Assign(self, source);
}

BITMAPINFO PixelFormat(int32_t width, int32_t height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

bool BuildBitmap() {
  vcl_TGraphic_ClassVar =
      HostClassBuilder(vcl_TGraphic_Class_Storage, "TGraphic")
          .Parent(&vcl_TPersistent_ClassVar)
          .InstanceSize(GraphicLayout::Size)
          .Virtual(GraphicSlot::Changed, reinterpret_cast<void*>(&GraphicChanged))
          .Virtual(GraphicSlot::Draw, reinterpret_cast<void*>(&GraphicDraw))
          .Virtual(GraphicSlot::GetEmpty, reinterpret_cast<void*>(&GraphicGetEmpty))
          .Virtual(GraphicSlot::GetHeight, reinterpret_cast<void*>(&GraphicGetZero))
          .Virtual(GraphicSlot::GetWidth, reinterpret_cast<void*>(&GraphicGetZero))
          .Virtual(GraphicSlot::SetHeight, reinterpret_cast<void*>(&GraphicSetNothing))
          .Virtual(GraphicSlot::SetWidth, reinterpret_cast<void*>(&GraphicSetNothing))
          .Virtual(GraphicSlot::SetSize, reinterpret_cast<void*>(&GraphicSetSize))
          .Virtual(GraphicSlot::LoadFromStream, reinterpret_cast<void*>(&GraphicStreamUnsupported))
          .Virtual(GraphicSlot::SaveToStream, reinterpret_cast<void*>(&GraphicStreamUnsupported))
          .TypeInfo("Graphics")
          .Build();
  if (!vcl_TGraphic_ClassVar) return false;
  vcl_TBitmap_ClassVar = HostClassBuilder(vcl_TBitmap_Class_Storage, "TBitmap")
                             .Parent(&vcl_TGraphic_ClassVar)
                             .InstanceSize(BitmapLayout::Size)
                             .Virtual(PersistentSlot::Assign, reinterpret_cast<void*>(&BitmapAssign))
                             .Virtual(GraphicSlot::Draw, reinterpret_cast<void*>(&BitmapDraw))
                             .Virtual(GraphicSlot::GetEmpty, reinterpret_cast<void*>(&BitmapGetEmpty))
                             .Virtual(GraphicSlot::GetHeight, reinterpret_cast<void*>(&vcl_TBitmap_GetHeight))
                             .Virtual(GraphicSlot::GetWidth, reinterpret_cast<void*>(&vcl_TBitmap_GetWidth))
                             .Virtual(GraphicSlot::SetHeight, reinterpret_cast<void*>(&BitmapSetHeight))
                             .Virtual(GraphicSlot::SetWidth, reinterpret_cast<void*>(&BitmapSetWidth))
                             .Virtual(GraphicSlot::SetSize, reinterpret_cast<void*>(&vcl_TBitmap_SetSize))
                             .Root(kVmtDestroy, reinterpret_cast<void*>(&BitmapDestroy))
                             .TypeInfo("Graphics")
                             .Build();
  return vcl_TBitmap_ClassVar != nullptr;
}

const VclClassRegistration kBitmap{"TGraphic TBitmap", "TPersistent", &BuildBitmap};

} // namespace

namespace Vcl {

HBITMAP NewBitmapHandle(int32_t width, int32_t height) {
  HBITMAP bitmap = nullptr;
  if (!TakeArmedBitmapFailure()) {
    HDC screen = GetDC(nullptr);
    bitmap = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
  }
  if (!bitmap) RaiseError(vcl_EOutOfResources_Class, L"Out of system resources");
  return bitmap;
}

void ReadBitmapPixels(HBITMAP bitmap, int32_t width, int32_t height, uint32_t* pixels) {
  BITMAPINFO info = PixelFormat(width, height);
  HDC dc = CreateCompatibleDC(nullptr);
  GetDIBits(dc, bitmap, 0, UINT(height), pixels, &info, DIB_RGB_COLORS);
  DeleteDC(dc);
}

void WriteBitmapPixels(HBITMAP bitmap, int32_t width, int32_t height, const uint32_t* pixels) {
  BITMAPINFO info = PixelFormat(width, height);
  HDC dc = CreateCompatibleDC(nullptr);
  SetDIBits(dc, bitmap, 0, UINT(height), pixels, &info, DIB_RGB_COLORS);
  DeleteDC(dc);
}

} // namespace Vcl

extern "C" {

void* QM_HOST_REGISTER vcl_TBitmap_Create(void* classOrSelf, int alloc) {
  void* self = ConstructorStart(classOrSelf, alloc);
  ConstructorEnd(self, alloc);
  return self;
}

void* QM_HOST_REGISTER vcl_TBitmap_GetCanvas(void* self) {
  void*& canvas = Field<void*>(self, BitmapLayout::Canvas);
  if (!canvas) canvas = NewBitmapCanvas(self);
  return canvas;
}

// The handle, made when needed: from the image a dormant bitmap keeps, or new.
HBITMAP QM_HOST_REGISTER vcl_TBitmap_GetHandle(void* self) {
  if (Handle(self) || Width(self) <= 0 || Height(self) <= 0) return Handle(self);
  HBITMAP bitmap = NewBitmapHandle(Width(self), Height(self));
  if (Image(self)) WriteBitmapPixels(bitmap, Width(self), Height(self), Image(self));
  FreeImage(self);
  Handle(self) = bitmap;
  return bitmap;
}

// The bitmap takes over the handle (and frees the one it had).
void QM_HOST_REGISTER vcl_TBitmap_SetHandle(void* self, HBITMAP handle) {
  if (handle == Handle(self)) return;
  ReleaseContents(self);
  Handle(self) = handle;
  BITMAP info = {};
  if (handle && GetObjectW(handle, sizeof info, &info)) {
    Width(self) = info.bmWidth;
    Height(self) = info.bmHeight;
  } else {
    Width(self) = Height(self) = 0;
  }
  Changed(self);
}

void QM_HOST_REGISTER vcl_TBitmap_Dormant(void* self) {
  if (!Handle(self)) return;
  ReleaseCanvasHandle(Canvas(self));
  auto* image = static_cast<uint32_t*>(Rtl().getMem(Width(self) * Height(self) * 4));
  ReadBitmapPixels(Handle(self), Width(self), Height(self), image);
  DeleteObject(Handle(self));
  Handle(self) = nullptr;
  FreeImage(self);
  Image(self) = image;
}

// procedure SetSize(AWidth, AHeight: Integer); override — a new, black image
// of that size with its handle.
void QM_HOST_REGISTER vcl_TBitmap_SetSize(void* self, int32_t width, int32_t height) {
  if (width < 0) width = 0;
  if (height < 0) height = 0;
  if (width == Width(self) && height == Height(self) && (Handle(self) || Image(self) || !width || !height)) return;
  ReleaseContents(self);
  Width(self) = width;
  Height(self) = height;
  if (width > 0 && height > 0) Handle(self) = NewBitmapHandle(width, height);
  Changed(self);
}

int32_t QM_HOST_REGISTER vcl_TBitmap_GetWidth(void* self) { return Width(self); }
int32_t QM_HOST_REGISTER vcl_TBitmap_GetHeight(void* self) { return Height(self); }

} // extern "C"
