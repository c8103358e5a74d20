// Tabs: TScroller, the pair of arrow buttons of a tab set. It owns a bitmap
// (+0x298) and paints through it: the buttons are drawn into the bitmap at
// the scroller's size, then the bitmap onto the scroller's canvas.
#include "Common/HostClass.h"
#include "Controls.h"
#include "VclClasses.h"
#include "VclInternal.h"

using namespace QmHost;
using namespace Vcl;

QM_HOST_CLASS(vcl_TScroller_Class, ControlSlot::Count);

namespace {

constexpr int32_t BtnFace = int32_t(0xFF00000F);
constexpr int32_t BtnShadow = int32_t(0xFF000010);
constexpr int32_t GrayText = int32_t(0xFF000011);
constexpr int32_t BtnText = int32_t(0xFF000012);

bool BuildScroller() {
  return HostClassBuilder(vcl_TScroller_Class_Storage, "TScroller")
             .Parent(&vcl_TCustomControl_ClassVar)
             .InstanceSize(ScrollerLayout::Size)
             .Virtual(ComponentSlot::Create, reinterpret_cast<void*>(&vcl_TScroller_Create))
             .Virtual(ControlSlot::Paint, reinterpret_cast<void*>(&vcl_TScroller_Paint))
             .Root(kVmtDestroy, reinterpret_cast<void*>(&vcl_TScroller_Destroy))
             .TypeInfo("Tabs")
             .Build() != nullptr;
}

const VclClassRegistration kScroller{"TScroller", "TCustomControl", &BuildScroller};

// An arrow of horizontal strokes, pointing left or right, centred in `box`.
void DrawArrow(void* canvas, const TRect& box, bool left, bool enabled) {
  vcl_TBrush_SetColor(Field<void*>(canvas, CanvasLayout::Brush), enabled ? BtnText : GrayText);
  const int32_t cx = (box.Left + box.Right) / 2, cy = (box.Top + box.Bottom) / 2;
  for (int32_t i = 0; i < 4; ++i) {
    const int32_t x = left ? cx - 2 + i : cx + 1 - i;
    const TRect stroke = {x, cy - i, x + 1, cy + i + 1};
    vcl_TCanvas_FillRect(canvas, &stroke);
  }
}

} // namespace

extern "C" {

void* QM_HOST_REGISTER vcl_TScroller_Create(void* classOrSelf, int alloc, void* owner) {
  void* self = ConstructorStart(classOrSelf, alloc);
  vcl_TCustomControl_Create(self, 0, owner);
  Field<int32_t>(self, ScrollerLayout::Max) = 10;
  Field<void*>(self, ScrollerLayout::Bitmap) = vcl_TBitmap_Create(vcl_TBitmap_ClassVar, 1);
  SetControlBounds(self, 0, 0, 34, 17);
  ConstructorEnd(self, alloc);
  return self;
}

void QM_HOST_REGISTER vcl_TScroller_Destroy(void* self, int outermost) {
  DestructorStart(self, outermost);
  FreeObject(Field<void*>(self, ScrollerLayout::Bitmap));
  Field<void*>(self, ScrollerLayout::Bitmap) = nullptr;
  InheritedDestroy(self, vcl_TScroller_Class);
  DestructorEnd(self, outermost);
}

void QM_HOST_REGISTER vcl_TScroller_PaintBody(void* self) {
  void* bitmap = Field<void*>(self, ScrollerLayout::Bitmap);
  const int32_t width = Field<int32_t>(self, ControlLayout::Width);
  const int32_t height = Field<int32_t>(self, ControlLayout::Height);
  Virtual<void(QM_HOST_REGISTER*)(void*, int32_t, int32_t)>(bitmap, GraphicSlot::SetSize)(bitmap, width, height);
  void* canvas = vcl_TBitmap_GetCanvas(bitmap);
  void* brush = Field<void*>(canvas, CanvasLayout::Brush);
  const TRect all = {0, 0, width, height};
  vcl_TBrush_SetColor(brush, BtnFace);
  vcl_TCanvas_FillRect(canvas, &all);
  const TRect leftButton = {0, 0, width / 2, height};
  const TRect rightButton = {width / 2, 0, width, height};
  vcl_TBrush_SetColor(brush, BtnShadow);
  vcl_TCanvas_FrameRect(canvas, &leftButton);
  vcl_TCanvas_FrameRect(canvas, &rightButton);
  const int32_t position = Field<int32_t>(self, ScrollerLayout::Position);
  DrawArrow(canvas, leftButton, true, position > Field<int32_t>(self, ScrollerLayout::Min));
  DrawArrow(canvas, rightButton, false, position < Field<int32_t>(self, ScrollerLayout::Max));
  vcl_TCanvas_Draw(Field<void*>(self, CustomControlLayout::Canvas), 0, 0, bitmap);
}

} // extern "C"
