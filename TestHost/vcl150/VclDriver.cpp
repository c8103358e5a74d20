// The driver interface (VclDriver.h): stdcall entry points through which
// bds.exe, the tests and the benchmarks make and paint the library's objects.
#include <type_traits>

#include "BitmapHandleCounter.h"
#include "Common/SearchedSites.h"
#include "Controls.h"
#include "ImageList.h"
#include "VclDriver.h"
#include "VclInternal.h"

using namespace Vcl;

extern "C" {

void* __stdcall VclNewToolBar(void* owner) { return vcl_TToolBar_Create(vcl_TToolBar_Class, 1, owner); }

void* __stdcall VclNewScroller(int width, int height, int position) {
  void* scroller = vcl_TScroller_Create(vcl_TScroller_Class, 1, nullptr);
  SetControlBounds(scroller, 0, 0, width, height);
  Field<int32_t>(scroller, ScrollerLayout::Position) = position;
  return scroller;
}

void* __stdcall VclNewImageList(int width, int height) {
  return vcl_TCustomImageList_CreateSize(vcl_TCustomImageList_Class, 1, width, height);
}

void* __stdcall VclNewBitmap(int width, int height, unsigned color) {
  void* bitmap = vcl_TBitmap_Create(vcl_TBitmap_ClassVar, 1);
  vcl_TBitmap_SetSize(bitmap, width, height);
  void* canvas = vcl_TBitmap_GetCanvas(bitmap);
  vcl_TBrush_SetColor(Field<void*>(canvas, CanvasLayout::Brush), int32_t(color));
  const TRect all = {0, 0, width, height};
  vcl_TCanvas_FillRect(canvas, &all);
  return bitmap;
}

void __stdcall VclFree(void* object) { FreeObject(object); }

void __stdcall VclPaintControl(void* control, HDC dc) { PaintControl(control, dc); }

void __stdcall VclImageListSetSize(void* list, int width, int height) {
  vcl_TCustomImageList_SetSize(list, width, height);
}

// Quarters in colours taken from the seed; odd seeds get a transparent
// top-left quarter (white in the mask).
int __stdcall VclImageListAddSample(void* list, unsigned seed) {
  const int32_t width = Field<int32_t>(list, ImageListLayout::Width);
  const int32_t height = Field<int32_t>(list, ImageListLayout::Height);
  void* image = VclNewBitmap(width, height, seed * 0x9E3779u & 0xFFFFFF);
  void* canvas = vcl_TBitmap_GetCanvas(image);
  void* brush = Field<void*>(canvas, CanvasLayout::Brush);
  const TRect quarter = {width / 2, height / 2, width, height};
  vcl_TBrush_SetColor(brush, int32_t((seed * 0x85EBCA6Bu >> 8) & 0xFFFFFF));
  vcl_TCanvas_FillRect(canvas, &quarter);
  void* mask = nullptr;
  if (seed & 1) {
    mask = VclNewBitmap(width, height, 0);
    void* maskCanvas = vcl_TBitmap_GetCanvas(mask);
    vcl_TBrush_SetColor(Field<void*>(maskCanvas, CanvasLayout::Brush), 0xFFFFFF);
    const TRect corner = {0, 0, width / 2, height / 2};
    vcl_TCanvas_FillRect(maskCanvas, &corner);
  }
  const int index = vcl_TCustomImageList_Add(list, image, mask);
  FreeObject(image);
  FreeObject(mask);
  return index;
}

void __stdcall VclImageListDraw(void* list, HDC dc, int x, int y, int index) {
  void* canvas = vcl_TCanvas_Create(vcl_TCanvas_ClassVar, 1);
  vcl_TCanvas_SetHandle(canvas, dc);
  vcl_TCustomImageList_Draw(list, canvas, x, index, y);
  vcl_TCanvas_SetHandle(canvas, nullptr);
  FreeObject(canvas);
}

void* __stdcall VclImageListBitmap(void* list) { return ImageListBitmap(list); }
void* __stdcall VclImageListMask(void* list) { return Field<void*>(list, ImageListLayout::MaskBitmap); }
void* __stdcall VclToolBarBitmap(void* toolBar) { return Field<void*>(toolBar, ToolBarLayout::Bitmap); }
void* __stdcall VclScrollerBitmap(void* scroller) { return Field<void*>(scroller, ScrollerLayout::Bitmap); }

HBITMAP __stdcall VclBitmapState(void* bitmap, int* width, int* height) {
  if (width) *width = bitmap ? Field<int32_t>(bitmap, BitmapLayout::Width) : 0;
  if (height) *height = bitmap ? Field<int32_t>(bitmap, BitmapLayout::Height) : 0;
  return bitmap ? Field<HBITMAP>(bitmap, BitmapLayout::Handle) : nullptr;
}

int __stdcall VclLiveBitmapHandles() { return LiveBitmapHandles(); }

void __stdcall VclFailBitmapHandles(int count) { ArmBitmapFailures(count); }

void* __stdcall VclPatternSite(const char* site) {
  const QmHost::SearchedSite* found = QmHost::FindSearchedSite(site);
  return found ? found->Address : nullptr;
}

const QmHost::SearchedSite* __stdcall VclPatternSites(int* count) { return QmHost::SearchedSites(count); }

} // extern "C"

namespace {

using D = VclDriver::Driver;
template <class A, class B>
constexpr bool Same = std::is_same_v<A, B>;
static_assert(Same<decltype(&VclNewToolBar), D::NewToolBarFn> && Same<decltype(&VclNewScroller), D::NewScrollerFn> &&
                  Same<decltype(&VclNewImageList), D::NewImageListFn> && Same<decltype(&VclNewBitmap), D::NewBitmapFn> &&
                  Same<decltype(&VclFree), D::FreeFn> && Same<decltype(&VclPaintControl), D::PaintControlFn> &&
                  Same<decltype(&VclImageListSetSize), D::ImageListSetSizeFn> &&
                  Same<decltype(&VclImageListAddSample), D::ImageListAddSampleFn> &&
                  Same<decltype(&VclImageListDraw), D::ImageListDrawFn> &&
                  Same<decltype(&VclImageListBitmap), D::ImageListBitmapFn> &&
                  Same<decltype(&VclImageListMask), D::ImageListMaskFn> &&
                  Same<decltype(&VclToolBarBitmap), D::ToolBarBitmapFn> &&
                  Same<decltype(&VclScrollerBitmap), D::ScrollerBitmapFn> &&
                  Same<decltype(&VclBitmapState), D::BitmapStateFn> &&
                  Same<decltype(&VclLiveBitmapHandles), D::LiveBitmapHandlesFn> &&
                  Same<decltype(&VclFailBitmapHandles), D::FailBitmapHandlesFn> &&
                  Same<decltype(&VclPatternSite), D::PatternSiteFn> && Same<decltype(&VclPatternSites), D::PatternSitesFn>,
              "driver exports differ from VclDriver.h");

} // namespace
