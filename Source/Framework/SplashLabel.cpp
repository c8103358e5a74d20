#include "Framework/SplashLabel.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>

#include "Framework/HostControls.h"
#include "Framework/HostGraphics.h"
#include "Framework/HostObjectModel.h"
#include "Framework/HostSubclass.h"
#include "Framework/LibraryEntry.h"
#include "Framework/SplashProgress.h"
#include "Hooking/MethodTables.h"

namespace Quillmend {

namespace {

const char* const ClassName = "TSplashLabel";
constexpr int32_t BarHeight = 8;
constexpr int32_t OutlineColor = 0x808080;
constexpr int32_t DestroyOffset = -4;  // the root virtual Destroy

// Our fields, behind the host label's.
struct TFields {
  int32_t Percent;
  int32_t Position;
  int32_t Max;
  void* Bitmap;
  uint8_t ShowProgress;
};

using TPaint = void(QM_REGISTER*)(void* self);
using TDestroy = void(QM_REGISTER*)(void* self, int32_t outermost);

// Built once, never freed: labels may outlive whoever built the class.
THostSubclass* g_class = nullptr;
int32_t g_fieldsAt = 0;
TPaint g_parentPaint = nullptr;
TDestroy g_parentDestroy = nullptr;

TFields& Fields(const void* label) {
  return *reinterpret_cast<TFields*>(const_cast<char*>(static_cast<const char*>(label)) + g_fieldsAt);
}

void SetCaption(void* label) {
  const TFields& f = Fields(label);
  THostString caption(SplashCaption(f.Percent, f.ShowProgress != 0));
  HostSetText(label, caption.Get());
}

// The canvas inside `r` copied into a 24-bit bitmap of ours and tinted; the
// host bitmap takes the handle over.
void* TintedCopy(void* canvas, const THostRect& r) {
  const int32_t width = r.Right - r.Left, height = r.Bottom - r.Top;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!dib) return nullptr;
  HDC memory = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(memory, dib);
  BitBlt(memory, 0, 0, width, height, HostCanvasHandle(canvas), r.Left, r.Top, SRCCOPY);
  GdiFlush();
  const int32_t stride = (width * 3 + 3) & ~3;
  for (int32_t y = 0; y < height; ++y) TintPixels(static_cast<uint8_t*>(bits) + y * stride, width);
  SelectObject(memory, old);
  DeleteDC(memory);
  void* bitmap = NewHostBitmap();
  HostSetBitmapHandle(bitmap, dib);
  return bitmap;
}

void PaintBar(void* self) {
  TFields& f = Fields(self);
  void* canvas = *reinterpret_cast<void**>(static_cast<char*>(self) + HostControlLayout::Canvas);
  const int32_t fontHeight = std::abs(HostFontHeight(HostControlFont(self)));
  SIZE extent;
  {
    THostString sample(L" 000%");
    extent = HostCanvasTextExtent(canvas, sample.Get());
  }
  THostRect bar = {0, 0, HostControlField(self, HostControlLayout::Width),
                   HostControlField(self, HostControlLayout::Height)};
  bar.Top += 3 * fontHeight / 2 + 1;
  bar.Right -= extent.cx;
  bar.Bottom = bar.Top + BarHeight;
  HostCanvasBrushStyle(canvas, HostBrushClear);
  HostCanvasPen(canvas, OutlineColor, HostPenSolid);
  HostCanvasRectangle(canvas, bar);
  const THostRect inner = {bar.Left + 1, bar.Top + 1, bar.Right - 1, bar.Bottom - 1};
  const int32_t width = inner.Right - inner.Left, height = inner.Bottom - inner.Top;
  if (width < 1 || height < 1) return;
  if (!f.Bitmap) f.Bitmap = TintedCopy(canvas, inner);
  if (!f.Bitmap || f.Max < 1) return;
  // A position beyond Max fills the bar, no more.
  const int32_t filled = std::min(width, int32_t(int64_t(width) * f.Position / f.Max));
  if (filled < 1) return;
  HostCanvasCopyRect(canvas, THostRect{inner.Left, inner.Top, inner.Left + filled, inner.Bottom},
                     HostBitmapCanvas(f.Bitmap), THostRect{0, 0, filled, height});
}

void QM_REGISTER SplashPaint(void* self) {
  HostBoundary([self] {
    g_parentPaint(self);
    if (Fields(self).ShowProgress) PaintBar(self);
  });
}

void QM_REGISTER SplashDestroy(void* self, int32_t outermost) {
  HostBoundary([self] {
    SplashLabelDestroyed(self);
    void* bitmap = Fields(self).Bitmap;
    Fields(self).Bitmap = nullptr;
    if (bitmap) HostFree(bitmap);
  });
  g_parentDestroy(self, outermost);
}

THostSubclass* SplashClass() {
  if (g_class) return g_class->ClassRef() ? g_class : nullptr;
  void* parent = HostLabelClass();
  if (!parent) return nullptr;
  g_class = new THostSubclass(ClassName, parent);
  if (!g_class->ClassRef()) return nullptr;
  g_fieldsAt = (HostInstanceSize(parent) + 3) & ~3;
  g_parentPaint = reinterpret_cast<TPaint>(static_cast<void**>(parent)[HostControlSlot::Paint]);
  g_parentDestroy = reinterpret_cast<TDestroy>(static_cast<void**>(parent)[DestroyOffset / 4]);
  g_class->SetInstanceSize(g_fieldsAt + int32_t(sizeof(TFields)));
  g_class->SetVirtual(HostControlSlot::Paint, reinterpret_cast<const void*>(&SplashPaint));
  g_class->SetRoot(DestroyOffset, reinterpret_cast<const void*>(&SplashDestroy));
  return g_class;
}

}  // namespace

void* NewSplashLabel(void* owner) {
  THostSubclass* subclass = SplashClass();
  if (!subclass) return nullptr;
  void* label = NewHostLabel(subclass->ClassRef(), owner);
  Fields(label).Max = 100;
  {
    THostString name(L"QuillmendLabel");
    HostSetName(label, name.Get());
  }
  HostSetAlignment(label, taRightJustify);
  HostSetTransparent(label, true);
  return label;
}

bool IsSplashLabel(const void* object) {
  return object && g_class && g_class->ClassRef() && *static_cast<void* const*>(object) == g_class->ClassRef();
}

TSplashLabelState SplashLabelState(const void* label) {
  const TFields& f = Fields(label);
  return TSplashLabelState{f.Percent, f.Position, f.Max, f.Bitmap, f.ShowProgress != 0};
}

void SetSplashPosition(void* label, int32_t position) {
  TFields& f = Fields(label);
  const bool wasShown = f.ShowProgress != 0;
  f.ShowProgress = 1;
  if (position == f.Position) {
    if (!wasShown) {
      SetCaption(label);
      HostRepaint(label);
    }
    return;
  }
  f.Position = position;
  const int32_t percent = f.Max <= 0 ? 0 : int32_t(int64_t(position) * 100 / f.Max);
  if (percent == f.Percent && wasShown) return;
  f.Percent = percent;
  SetCaption(label);
  HostRepaint(label);
}

std::wstring SplashCaption(int32_t percent, bool showProgress) {
  std::wstring caption = std::wstring(ProductTitle) + L"\r\n";
  if (showProgress) caption += std::to_wstring(percent) + L"%";
  return caption;
}

void TintPixels(uint8_t* bgr, int32_t pixels) {
  for (int32_t i = 0; i < pixels; ++i, bgr += 3) {
    bgr[0] = uint8_t(std::min(255, bgr[0] + 255));
    bgr[1] = uint8_t(std::max(0, bgr[1] - 50));
    bgr[2] = uint8_t(std::max(0, bgr[2] - 50));
  }
}

void RetireSplashLabelClass() {
  if (!g_class || !g_class->ClassRef()) return;
  g_class->SetVirtual(HostControlSlot::Paint, reinterpret_cast<const void*>(g_parentPaint));
  g_class->SetRoot(DestroyOffset, reinterpret_cast<const void*>(g_parentDestroy));
}

}  // namespace Quillmend
