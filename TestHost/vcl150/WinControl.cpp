// TWinControl: a control with a window of its own, over TControl, and
// TPanel over it. The stand-in keeps no window here; their instances carry
// the layout of WinControlDriver.h (the anchors and alignment are kept, not
// acted on). A new windowed control is visible and shown.
#include "Common/HostClass.h"
#include "VclClasses.h"
#include "VclInternal.h"
#include "WinControlDriver.h"

using namespace QmHost;
using namespace Vcl;
using namespace WinControlDriver;

QM_HOST_CLASS(vcl_TWinControl_Class, ControlSlot::Count);
QM_HOST_CLASS(vcl_TPanel_Class, ControlSlot::Count);

extern "C" {
void* QM_HOST_REGISTER vcl_TWinControl_Create(void* classOrSelf, int alloc, void* owner)
    QM_HOST_SYMBOL(vcl_TWinControl_Create);
}

namespace {

void* g_winControlClass = nullptr;
void* g_panelClass = nullptr;

void QM_HOST_REGISTER WinControlDestroy(void* self, int outermost) {
  DestructorStart(self, outermost);
  Rtl().Release(Field<wchar_t*>(self, WinControlLayout::Caption));
  Rtl().Release(Field<wchar_t*>(self, WinControlLayout::Items));
  InheritedDestroy(self, g_winControlClass);
  DestructorEnd(self, outermost);
}

bool BuildWinControl() {
  g_winControlClass = HostClassBuilder(vcl_TWinControl_Class_Storage, "TWinControl")
                          .Parent(&vcl_TControl_ClassVar)
                          .InstanceSize(WinControlLayout::Size)
                          .Virtual(ComponentSlot::Create, reinterpret_cast<void*>(&vcl_TWinControl_Create))
                          .Root(kVmtDestroy, reinterpret_cast<void*>(&WinControlDestroy))
                          .TypeInfo("Controls")
                          .Build();
  if (!g_winControlClass) return false;
  g_panelClass = HostClassBuilder(vcl_TPanel_Class_Storage, "TPanel")
                     .Parent(&g_winControlClass)
                     .TypeInfo("ExtCtrls")
                     .Build();
  return g_panelClass != nullptr;
}

const VclClassRegistration kWinControl{"TWinControl TPanel", "TControl", &BuildWinControl};

} // namespace

extern "C" {

void* QM_HOST_REGISTER vcl_TWinControl_Create(void* classOrSelf, int alloc, void* owner) {
  void* self = ConstructorStart(classOrSelf, alloc);
  vcl_TComponent_Create(self, 0, owner);
  Field<uint8_t>(self, Vcl::ControlLayout::Visible) = 1;
  Field<uint8_t>(self, WinControlLayout::Showing) = 1;
  ConstructorEnd(self, alloc);
  return self;
}

} // extern "C"
