// ImgList: TCustomImageList. The images live in the list's own memory; to
// draw one, the list writes it into its scratch bitmap (the reference at
// vcl_ImageListBitmapField, +0x54) and copies that onto the canvas. A masked
// image goes through the scratch mask (+0x58) when the list has one,
// otherwise its opaque runs are copied one by one. Initialize and the
// destructor are searched code (ImgListCode.S).
#include <cstring>

#include "Common/HostClass.h"
#include "Graphics.h"
#include "ImageList.h"
#include "VclClasses.h"
#include "VclInternal.h"

using namespace QmHost;
using namespace Vcl;

QM_HOST_CLASS(vcl_TCustomImageList_Class, ComponentSlot::Count);

extern "C" EXCEPTION_DISPOSITION __cdecl vcl_ImageListInitializeFinally(EXCEPTION_RECORD* record, void* frame,
                                                                        CONTEXT*, void*)
    QM_HOST_SYMBOL(vcl_ImageListInitializeFinally);

namespace {

constexpr uint32_t Opaque = 0xFF000000u;  // marks an opaque pixel in the stored images

int32_t& Count(void* list) { return Field<int32_t>(list, ImageListLayout::Count); }
int32_t& Capacity(void* list) { return Field<int32_t>(list, ImageListLayout::Capacity); }
uint32_t*& Images(void* list) { return Field<uint32_t*>(list, ImageListLayout::Images); }
int32_t& Width(void* list) { return Field<int32_t>(list, ImageListLayout::Width); }
int32_t& Height(void* list) { return Field<int32_t>(list, ImageListLayout::Height); }
int32_t ImageSize(void* list) { return Width(list) * Height(list); }

using TSetSizeFn = void(QM_HOST_REGISTER*)(void*, int32_t, int32_t);

void SetBitmapSize(void* bitmap, int32_t width, int32_t height) {
  Virtual<TSetSizeFn>(bitmap, GraphicSlot::SetSize)(bitmap, width, height);
}

// The pixels of a bitmap object at its size (freed by the caller with FreeMem).
uint32_t* BitmapPixels(void* bitmap, int32_t& width, int32_t& height) {
  width = vcl_TBitmap_GetWidth(bitmap);
  height = vcl_TBitmap_GetHeight(bitmap);
  if (width <= 0 || height <= 0) return nullptr;
  HBITMAP handle = vcl_TBitmap_GetHandle(bitmap);
  ReleaseCanvasHandle(Field<void*>(bitmap, BitmapLayout::Canvas));  // GetDIBits wants it unselected
  auto* pixels = static_cast<uint32_t*>(Rtl().getMem(width * height * 4));
  ReadBitmapPixels(handle, width, height, pixels);
  return pixels;
}

BITMAPINFO PixelFormat(int32_t width, int32_t height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

// Writes pixels into a bitmap object through its canvas.
void PutPixels(void* bitmap, const uint32_t* pixels, int32_t width, int32_t height) {
  HDC dc = vcl_TCanvas_GetHandle(vcl_TBitmap_GetCanvas(bitmap));
  BITMAPINFO info = PixelFormat(width, height);
  SetDIBitsToDevice(dc, 0, 0, DWORD(width), DWORD(height), 0, 0, 0, UINT(height), pixels, &info, DIB_RGB_COLORS);
}

bool BuildImageList() {
  return HostClassBuilder(vcl_TCustomImageList_Class_Storage, "TCustomImageList")
             .Parent(&vcl_TComponent_ClassVar)
             .InstanceSize(ImageListLayout::Size)
             .Virtual(ComponentSlot::Create, reinterpret_cast<void*>(&vcl_TCustomImageList_Create))
             .Root(kVmtDestroy, reinterpret_cast<void*>(&vcl_TCustomImageList_Destroy))
             .TypeInfo("ImgList")
             .Build() != nullptr;
}

const VclClassRegistration kImageList{"TCustomImageList", "TComponent", &BuildImageList};

} // namespace

namespace Vcl {

void*& ImageListBitmap(void* list) { return Field<void*>(list, vcl_ImageListBitmapField); }

} // namespace Vcl

extern "C" {

void* QM_HOST_REGISTER vcl_TCustomImageList_Create(void* classOrSelf, int alloc, void* owner) {
  void* self = ConstructorStart(classOrSelf, alloc);
  vcl_TComponent_Create(self, 0, owner);
  Width(self) = Height(self) = 16;
  Field<int32_t>(self, ImageListLayout::Masked) = 1;
  vcl_TCustomImageList_Initialize(self);
  ConstructorEnd(self, alloc);
  return self;
}

// constructor CreateSize(AWidth, AHeight: Integer)
void* QM_HOST_REGISTER vcl_TCustomImageList_CreateSize(void* classOrSelf, int alloc, int32_t width, int32_t height) {
  void* self = ConstructorStart(classOrSelf, alloc);
  vcl_TComponent_Create(self, 0, nullptr);
  Width(self) = width;
  Height(self) = height;
  Field<int32_t>(self, ImageListLayout::Masked) = 1;
  vcl_TCustomImageList_Initialize(self);
  ConstructorEnd(self, alloc);
  return self;
}

void QM_HOST_REGISTER vcl_ImageListDefaults(void* self) {
  if (Width(self) <= 0) Width(self) = 16;
  if (Height(self) <= 0) Height(self) = 16;
  Field<int32_t>(self, ImageListLayout::BkColor) = 0x1FFFFFFF;  // clNone
  if (Field<int32_t>(self, ImageListLayout::AllocBy) <= 0) Field<int32_t>(self, ImageListLayout::AllocBy) = 4;
  Field<int32_t>(self, ImageListLayout::Grow) = Field<int32_t>(self, ImageListLayout::AllocBy);
}

void QM_HOST_REGISTER vcl_ImageListEndUpdate(void* self) {
  if (Field<int32_t>(self, ImageListLayout::UpdateCount) > 0) --Field<int32_t>(self, ImageListLayout::UpdateCount);
  if (Field<int32_t>(self, ImageListLayout::UpdateCount) == 0) ++Field<int32_t>(self, ImageListLayout::ChangeCount);
}

// The finally of Initialize, run when a raise unwinds past it (the saved
// frame pointer's [-4] holds the list).
EXCEPTION_DISPOSITION __cdecl vcl_ImageListInitializeFinally(EXCEPTION_RECORD* record, void* frame, CONTEXT*, void*) {
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) {
    const uintptr_t savedEbp = static_cast<uintptr_t*>(frame)[2];
    vcl_ImageListEndUpdate(*reinterpret_cast<void**>(savedEbp - 4));
  }
  return ExceptionContinueSearch;
}

// The scratch bitmaps at the list's size: the image bitmap, and for a masked
// list the mask bitmap (made here when missing).
void QM_HOST_REGISTER vcl_ImageListReallocBody(void* self) {
  if (void* bitmap = ImageListBitmap(self)) SetBitmapSize(bitmap, Width(self), Height(self));
  if (!Field<int32_t>(self, ImageListLayout::Masked)) return;
  void*& mask = Field<void*>(self, ImageListLayout::MaskBitmap);
  if (!mask) mask = vcl_TBitmap_Create(vcl_TBitmap_ClassVar, 1);
  SetBitmapSize(mask, Width(self), Height(self));
}

void QM_HOST_REGISTER vcl_ImageListFreeImages(void* self) {
  Rtl().freeMem(Images(self));
  Images(self) = nullptr;
  Count(self) = Capacity(self) = 0;
}

// procedure SetSize(AWidth, AHeight: Integer) — a new size clears the list.
void QM_HOST_REGISTER vcl_TCustomImageList_SetSize(void* self, int32_t width, int32_t height) {
  if (width == Width(self) && height == Height(self)) return;
  vcl_ImageListFreeImages(self);
  Width(self) = width;
  Height(self) = height;
  vcl_ImageListReallocBitmaps(self);
}

int32_t QM_HOST_REGISTER vcl_TCustomImageList_GetCount(void* self) { return Count(self); }

// function Add(Image, Mask: TBitmap): Integer — the image's top left at the
// list's size; white pixels of the mask are transparent.
int32_t QM_HOST_REGISTER vcl_TCustomImageList_Add(void* self, void* image, void* mask) {
  const int32_t size = ImageSize(self);
  if (Count(self) == Capacity(self)) {
    const int32_t capacity = Capacity(self) ? 2 * Capacity(self) : 4;
    auto* images = static_cast<uint32_t*>(Rtl().getMem(capacity * size * 4));
    if (Count(self)) std::memcpy(images, Images(self), size_t(Count(self)) * size_t(size) * 4);
    Rtl().freeMem(Images(self));
    Images(self) = images;
    Capacity(self) = capacity;
  }
  uint32_t* target = Images(self) + size_t(Count(self)) * size_t(size);
  std::memset(target, 0, size_t(size) * 4);
  int32_t iw = 0, ih = 0, mw = 0, mh = 0;
  uint32_t* pixels = image ? BitmapPixels(image, iw, ih) : nullptr;
  uint32_t* maskPixels = mask ? BitmapPixels(mask, mw, mh) : nullptr;
  for (int32_t y = 0; y < Height(self); ++y)
    for (int32_t x = 0; x < Width(self); ++x) {
      const uint32_t color = (x < iw && y < ih) ? pixels[y * iw + x] & 0xFFFFFF : 0;
      const bool transparent = x < mw && y < mh && (maskPixels[y * mw + x] & 0xFFFFFF) == 0xFFFFFF;
      target[y * Width(self) + x] = transparent ? 0 : (color | Opaque);
    }
  Rtl().freeMem(pixels);
  Rtl().freeMem(maskPixels);
  return Count(self)++;
}

// procedure Draw(Canvas: TCanvas; X, Y, Index: Integer)
void QM_HOST_REGISTER vcl_TCustomImageList_Draw(void* self, void* canvas, int32_t x, int32_t index, int32_t y) {
  void* bitmap = ImageListBitmap(self);
  if (!canvas || !bitmap || index < 0 || index >= Count(self)) return;
  const int32_t width = Width(self), height = Height(self), size = ImageSize(self);
  const uint32_t* image = Images(self) + size_t(index) * size_t(size);
  auto* colors = static_cast<uint32_t*>(Rtl().getMem(size * 4));
  bool masked = false;
  for (int32_t i = 0; i < size; ++i) {
    colors[i] = image[i] & 0xFFFFFF;  // transparent pixels black
    masked |= (image[i] & Opaque) == 0;
  }
  PutPixels(bitmap, colors, width, height);
  HDC source = vcl_TCanvas_GetHandle(vcl_TBitmap_GetCanvas(bitmap));
  HDC target = vcl_TCanvas_GetHandle(canvas);
  void* maskBitmap = Field<void*>(self, ImageListLayout::MaskBitmap);
  if (!masked || !Field<int32_t>(self, ImageListLayout::Masked)) {
    BitBlt(target, x, y, width, height, source, 0, 0, SRCCOPY);
  } else if (maskBitmap) {
    for (int32_t i = 0; i < size; ++i) colors[i] = (image[i] & Opaque) ? 0 : 0xFFFFFF;
    PutPixels(maskBitmap, colors, width, height);
    BitBlt(target, x, y, width, height, vcl_TCanvas_GetHandle(vcl_TBitmap_GetCanvas(maskBitmap)), 0, 0, SRCAND);
    BitBlt(target, x, y, width, height, source, 0, 0, SRCPAINT);
  } else {
    for (int32_t row = 0; row < height; ++row)
      for (int32_t start = 0; start < width;) {
        if (!(image[row * width + start] & Opaque)) {
          ++start;
          continue;
        }
        int32_t end = start;
        while (end < width && (image[row * width + end] & Opaque)) ++end;
        BitBlt(target, x + start, y + row, end - start, 1, source, start, row, SRCCOPY);
        start = end;
      }
  }
  Rtl().freeMem(colors);
}

} // extern "C"
