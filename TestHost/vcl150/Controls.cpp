// Controls: TControl (bounds, a Paint method) and TCustomControl, a control
// with a canvas of its own that Paint draws on. The stand-in has no windows:
// whoever shows a control hands its canvas a device context and calls
// Paint (PaintControl).
#include "Common/HostClass.h"
#include "Controls.h"
#include "VclClasses.h"
#include "VclInternal.h"

using namespace QmHost;
using namespace Vcl;

QM_HOST_CLASS(vcl_TControl_Class, ControlSlot::Count);
QM_HOST_CLASS(vcl_TCustomControl_Class, ControlSlot::Count);

extern "C" {
void* vcl_TControl_ClassVar = nullptr;
void* vcl_TCustomControl_ClassVar = nullptr;
}

namespace {

void QM_HOST_REGISTER ControlPaint(void*) {}

bool BuildControls() {
  vcl_TControl_ClassVar = HostClassBuilder(vcl_TControl_Class_Storage, "TControl")
                              .Parent(&vcl_TComponent_ClassVar)
                              .InstanceSize(ControlLayout::Size)
                              .Virtual(ControlSlot::SetBounds, reinterpret_cast<void*>(&vcl_TControl_SetBounds))
                              .Virtual(ControlSlot::Paint, reinterpret_cast<void*>(&ControlPaint))
                              .TypeInfo("Controls")
                              .Build();
  if (!vcl_TControl_ClassVar) return false;
  vcl_TCustomControl_ClassVar =
      HostClassBuilder(vcl_TCustomControl_Class_Storage, "TCustomControl")
          .Parent(&vcl_TControl_ClassVar)
          .InstanceSize(CustomControlLayout::Size)
          .Virtual(ComponentSlot::Create, reinterpret_cast<void*>(&vcl_TCustomControl_Create))
          .Root(kVmtDestroy, reinterpret_cast<void*>(&vcl_TCustomControl_Destroy))
          .TypeInfo("Controls")
          .Build();
  return vcl_TCustomControl_ClassVar != nullptr;
}

const VclClassRegistration kControls{"TControl TCustomControl", "TComponent", &BuildControls};

} // namespace

namespace Vcl {

void PaintControl(void* control, HDC dc) {
  void* canvas = Field<void*>(control, CustomControlLayout::Canvas);
  vcl_TCanvas_SetHandle(canvas, dc);
  Virtual<TSelfFn>(control, ControlSlot::Paint)(control);
  vcl_TCanvas_SetHandle(canvas, nullptr);
}

void SetControlBounds(void* control, int left, int top, int width, int height) {
  // Width and height are stack arguments: declared the other way round.
  Virtual<void(QM_HOST_REGISTER*)(void*, int32_t, int32_t, int32_t, int32_t)>(control, ControlSlot::SetBounds)(
      control, left, top, height, width);
}

} // namespace Vcl

extern "C" {

void QM_HOST_REGISTER vcl_TControl_SetBounds(void* self, int32_t left, int32_t top, int32_t height, int32_t width) {
  Field<int32_t>(self, ControlLayout::Left) = left;
  Field<int32_t>(self, ControlLayout::Top) = top;
  Field<int32_t>(self, ControlLayout::Width) = width;
  Field<int32_t>(self, ControlLayout::Height) = height;
}

void* QM_HOST_REGISTER vcl_TCustomControl_Create(void* classOrSelf, int alloc, void* owner) {
  void* self = ConstructorStart(classOrSelf, alloc);
  vcl_TComponent_Create(self, 0, owner);
  Field<uint8_t>(self, ControlLayout::Visible) = 1;
  Field<void*>(self, CustomControlLayout::Canvas) = vcl_TCanvas_Create(vcl_TCanvas_ClassVar, 1);
  ConstructorEnd(self, alloc);
  return self;
}

void QM_HOST_REGISTER vcl_TCustomControl_Destroy(void* self, int outermost) {
  DestructorStart(self, outermost);
  FreeObject(Field<void*>(self, CustomControlLayout::Canvas));
  Field<void*>(self, CustomControlLayout::Canvas) = nullptr;
  InheritedDestroy(self, vcl_TCustomControl_Class);
  DestructorEnd(self, outermost);
}

} // extern "C"
