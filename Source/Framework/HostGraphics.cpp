#include "Framework/HostGraphics.h"

namespace Quillmend {

namespace {

using TBitmapCreate = void* QM_REGISTER (*)(void* classRef, int32_t alloc);
using TSelfCall = void QM_REGISTER (*)(void* self);
using TGetObject = void* QM_REGISTER (*)(void* self);
using TSetInt = void QM_REGISTER (*)(void* self, int32_t value);
using TSetHandle = void QM_REGISTER (*)(void* self, HBITMAP handle);

void* g_bitmapClass = nullptr;
TBitmapCreate g_bitmapCreate = nullptr;
TGetObject g_bitmapGetCanvas = nullptr;
TSetHandle g_bitmapSetHandle = nullptr;
TSelfCall g_bitmapDormant = nullptr;
TSetInt g_brushSetColor = nullptr;
TSelfCall g_objectFree = nullptr;

const wchar_t* const Vcl = L"vcl150.bpl";

template <class Fn>
Fn VirtualMethod(void* object, int slot) {
  void* const* classRef = *static_cast<void* const* const*>(object);
  return reinterpret_cast<Fn>(classRef[slot]);
}

} // namespace

THostGraphicsSites DeclareHostGraphics(TPatchPlan& plan) {
  THostGraphicsSites s;
  s.BitmapClass = plan.Export(L"TBitmap", Vcl, "@Graphics@TBitmap@");
  s.BitmapCreate = plan.Export(L"TBitmap.Create", Vcl, "@Graphics@TBitmap@$bctr$qqrv");
  s.BitmapGetCanvas = plan.Export(L"TBitmap.GetCanvas", Vcl, "@Graphics@TBitmap@GetCanvas$qqrv");
  s.BitmapSetHandle = plan.Export(L"TBitmap.SetHandle", Vcl, "@Graphics@TBitmap@SetHandle$qqrp9HBITMAP__");
  s.BitmapDormant = plan.Export(L"TBitmap.Dormant", Vcl, "@Graphics@TBitmap@Dormant$qqrv");
  s.BrushSetColor = plan.Export(L"TBrush.SetColor", Vcl, "@Graphics@TBrush@SetColor$qqrx15Graphics@TColor");
  s.ObjectFree = plan.Export(L"TObject.Free", L"rtl150.bpl", "@System@TObject@Free$qqrv");
  return s;
}

void BindHostGraphics(const TPlanValues& v, const THostGraphicsSites& s) {
  g_bitmapClass = v.Site(s.BitmapClass);  // the export is the class reference itself
  g_bitmapCreate = reinterpret_cast<TBitmapCreate>(v.Site(s.BitmapCreate));
  g_bitmapGetCanvas = reinterpret_cast<TGetObject>(v.Site(s.BitmapGetCanvas));
  g_bitmapSetHandle = reinterpret_cast<TSetHandle>(v.Site(s.BitmapSetHandle));
  g_bitmapDormant = reinterpret_cast<TSelfCall>(v.Site(s.BitmapDormant));
  g_brushSetColor = reinterpret_cast<TSetInt>(v.Site(s.BrushSetColor));
  g_objectFree = reinterpret_cast<TSelfCall>(v.Site(s.ObjectFree));
}

void* NewHostBitmap() { return g_bitmapCreate(g_bitmapClass, 1); }

void HostSetSize(void* graphic, int32_t width, int32_t height) {
  using TSetSize = void QM_REGISTER (*)(void*, int32_t, int32_t);
  VirtualMethod<TSetSize>(graphic, HostGraphicsSlot::GraphicSetSize)(graphic, width, height);
}

int32_t HostGraphicWidth(void* graphic) {
  using TGet = int32_t QM_REGISTER (*)(void*);
  return VirtualMethod<TGet>(graphic, HostGraphicsSlot::GraphicGetWidth)(graphic);
}

int32_t HostGraphicHeight(void* graphic) {
  using TGet = int32_t QM_REGISTER (*)(void*);
  return VirtualMethod<TGet>(graphic, HostGraphicsSlot::GraphicGetHeight)(graphic);
}

void* HostBitmapCanvas(void* bitmap) { return g_bitmapGetCanvas(bitmap); }

void HostSetBrushColor(void* canvas, int32_t color) {
  void* brush = *reinterpret_cast<void**>(static_cast<char*>(canvas) + HostCanvasLayout::Brush);
  g_brushSetColor(brush, color);
}

void HostFillRect(void* canvas, const THostRect& rect) {
  using TFillRect = void QM_REGISTER (*)(void*, const THostRect*);
  VirtualMethod<TFillRect>(canvas, HostGraphicsSlot::CanvasFillRect)(canvas, &rect);
}

void HostSetBitmapHandle(void* bitmap, HBITMAP handle) { g_bitmapSetHandle(bitmap, handle); }

void HostDormant(void* bitmap) { g_bitmapDormant(bitmap); }

void HostAssign(void* persistent, void* source) {
  using TAssign = void QM_REGISTER (*)(void*, void*);
  VirtualMethod<TAssign>(persistent, HostGraphicsSlot::PersistentAssign)(persistent, source);
}

void HostFree(void* object) { g_objectFree(object); }

} // namespace Quillmend
