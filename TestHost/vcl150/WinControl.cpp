// TWinControl: a control with a window of its own, over TControl. The
// stand-in keeps no window here; its instances carry the layout of
// WinControlDriver.h, which the form designer's stand-in fills.
#include "Common/HostClass.h"
#include "VclClasses.h"
#include "VclInternal.h"
#include "WinControlDriver.h"

using namespace QmHost;
using namespace Vcl;

QM_HOST_CLASS(vcl_TWinControl_Class, ControlSlot::Count);

namespace {

void* g_winControlClass = nullptr;

bool BuildWinControl() {
  g_winControlClass = HostClassBuilder(vcl_TWinControl_Class_Storage, "TWinControl")
                          .Parent(&vcl_TControl_ClassVar)
                          .InstanceSize(WinControlDriver::WinControlLayout::Size)
                          .TypeInfo("Controls")
                          .Build();
  return g_winControlClass != nullptr;
}

const VclClassRegistration kWinControl{"TWinControl", "TControl", &BuildWinControl};

} // namespace
