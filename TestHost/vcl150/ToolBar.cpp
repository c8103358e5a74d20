// ComCtrls: TToolBar. Its constructor and destructor are searched code
// (ComCtrlsCode.S): every bar owns a private bitmap (made 1 x 1, its canvas
// brush in the button face colour) in which Paint draws the button faces.
#include "Common/HostClass.h"
#include "Controls.h"
#include "VclClasses.h"
#include "VclInternal.h"

using namespace QmHost;
using namespace Vcl;

QM_HOST_CLASS(vcl_TToolBar_Class, ControlSlot::Count);

extern "C" void QM_HOST_REGISTER vcl_ToolBarDefaults(void* self) QM_HOST_SYMBOL(vcl_ToolBarDefaults);

namespace {

constexpr int32_t BtnFace = int32_t(0xFF00000F);
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
  Field<int32_t>(self, ToolBarLayout::HotButton) = 1;  // the stand-in shows its second button hot
  vcl_TBrush_SetColor(Field<void*>(self, ToolBarLayout::HotBrush), BtnHighlight);
  SetControlBounds(self, 0, 0, 4 * 23 + 4, 22);
}

// procedure Paint; override — each button's face is drawn in the bar's
// bitmap, sized to the button and filled with the bitmap canvas's brush
// (the hot button with the hot brush's colour), then copied onto the bar and
// framed there. What the bitmap held before does not matter.
void QM_HOST_REGISTER vcl_TToolBar_Paint(void* self) {
  void* canvas = Field<void*>(self, CustomControlLayout::Canvas);
  void* brush = Field<void*>(canvas, CanvasLayout::Brush);
  const int32_t width = Field<int32_t>(self, ControlLayout::Width);
  const int32_t height = Field<int32_t>(self, ControlLayout::Height);
  const TRect client = {0, 0, width, height};
  vcl_TBrush_SetColor(brush, BtnFace);
  vcl_TCanvas_FillRect(canvas, &client);
  void* bitmap = Field<void*>(self, ToolBarLayout::Bitmap);
  void* face = vcl_TBitmap_GetCanvas(bitmap);
  void* faceBrush = Field<void*>(face, CanvasLayout::Brush);
  const int32_t buttonWidth = Field<int32_t>(self, ToolBarLayout::ButtonWidth);
  const int32_t buttonHeight = height - 4;
  for (int32_t i = 0; i < Field<int32_t>(self, ToolBarLayout::ButtonCount); ++i) {
    Virtual<void(QM_HOST_REGISTER*)(void*, int32_t, int32_t)>(bitmap, GraphicSlot::SetSize)(bitmap, buttonWidth - 1,
                                                                                           buttonHeight);
    const TRect all = {0, 0, buttonWidth - 1, buttonHeight};
    const bool hot = i == Field<int32_t>(self, ToolBarLayout::HotButton);
    const int32_t faceColor = Field<int32_t>(faceBrush, BrushLayout::Color);
    if (hot) vcl_TBrush_SetColor(faceBrush, Field<int32_t>(Field<void*>(self, ToolBarLayout::HotBrush), BrushLayout::Color));
    vcl_TCanvas_FillRect(face, &all);
    if (hot) vcl_TBrush_SetColor(faceBrush, faceColor);
    const int32_t left = 2 + i * buttonWidth;
    vcl_TCanvas_Draw(canvas, left, 2, bitmap);
    const TRect frame = {left, 2, left + buttonWidth - 1, 2 + buttonHeight};
    vcl_TBrush_SetColor(brush, BtnShadow);
    vcl_TCanvas_FrameRect(canvas, &frame);
  }
}

} // extern "C"
