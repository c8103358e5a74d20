// ComCtrls: TToolBar. Its constructor and destructor are searched code
// (ComCtrlsCode.S): every bar owns a private 1 x 1 bitmap in the button face
// colour, which Paint stretches over the bar's background before it draws
// the buttons.
#include "Common/HostClass.h"
#include "Controls.h"
#include "VclClasses.h"
#include "VclInternal.h"

using namespace QmHost;
using namespace Vcl;

QM_HOST_CLASS(vcl_TToolBar_Class, ControlSlot::Count);

extern "C" void QM_HOST_REGISTER vcl_ToolBarDefaults(void* self) QM_HOST_SYMBOL(vcl_ToolBarDefaults);

namespace {

constexpr int32_t BtnShadow = int32_t(0xFF000010);
constexpr int32_t BtnHighlight = int32_t(0xFF000014);

bool BuildToolBar() {
  return HostClassBuilder(vcl_TToolBar_Class_Storage, "TToolBar")
             .Parent(&vcl_TCustomControl_ClassVar)
             .InstanceSize(ToolBarLayout::Size)
             .Virtual(ComponentSlot::Create, reinterpret_cast<void*>(&vcl_TToolBar_Create))
             .Virtual(ControlSlot::Paint, reinterpret_cast<void*>(&vcl_TToolBar_Paint))
             .Root(kVmtDestroy, reinterpret_cast<void*>(&vcl_TToolBar_Destroy))
             .TypeInfo("ComCtrls")
             .Build() != nullptr;
}

const VclClassRegistration kToolBar{"TToolBar", "TCustomControl", &BuildToolBar};

} // namespace

extern "C" {

void QM_HOST_REGISTER vcl_ToolBarDefaults(void* self) {
  Field<int32_t>(self, ToolBarLayout::ButtonCount) = 4;
  Field<int32_t>(self, ToolBarLayout::ButtonWidth) = 23;
  Field<int32_t>(self, ToolBarLayout::HotButton) = -1;
  vcl_TBrush_SetColor(Field<void*>(self, ToolBarLayout::HotBrush), BtnHighlight);
  SetControlBounds(self, 0, 0, 4 * 23 + 4, 22);
}

// procedure Paint; override — the background from the bar's bitmap, then
// each button's frame (the hot one filled).
void QM_HOST_REGISTER vcl_TToolBar_Paint(void* self) {
  void* canvas = Field<void*>(self, CustomControlLayout::Canvas);
  const int32_t width = Field<int32_t>(self, ControlLayout::Width);
  const int32_t height = Field<int32_t>(self, ControlLayout::Height);
  const TRect client = {0, 0, width, height};
  vcl_TCanvas_StretchDraw(canvas, &client, Field<void*>(self, ToolBarLayout::Bitmap));
  void* brush = Field<void*>(canvas, CanvasLayout::Brush);
  const int32_t buttonWidth = Field<int32_t>(self, ToolBarLayout::ButtonWidth);
  for (int32_t i = 0; i < Field<int32_t>(self, ToolBarLayout::ButtonCount); ++i) {
    const TRect button = {2 + i * buttonWidth, 2, 2 + (i + 1) * buttonWidth - 1, height - 2};
    if (i == Field<int32_t>(self, ToolBarLayout::HotButton)) {
      void* hot = Field<void*>(self, ToolBarLayout::HotBrush);
      vcl_TBrush_SetColor(brush, Field<int32_t>(hot, BrushLayout::Color));
      vcl_TCanvas_FillRect(canvas, &button);
    }
    vcl_TBrush_SetColor(brush, BtnShadow);
    vcl_TCanvas_FrameRect(canvas, &button);
  }
}

} // extern "C"
