// Class records of the stand-in host run-time, built with the stand-in kit's
// host class builder: TObject (root, size 4) -> Exception (size 12, releases
// its message in Destroy) -> EInvalidPointer. The records exist from the
// module's start-up on; their exact symbols are exported as the classes.
#include "RtlInternal.h"

#include "Common/HostClass.h"

using namespace QmHost;

QM_HOST_CLASS(rtl_TObject_Class, 0);
QM_HOST_CLASS(rtl_Exception_Class, 0);
QM_HOST_CLASS(rtl_EInvalidPointer_Class, 0);

// Parent links point at variables holding the parent's class reference.
extern "C" {
void* rtl_TObject_ClassVar QM_HOST_SYMBOL(rtl_TObject_ClassVar) = rtl_TObject_Class;
void* rtl_Exception_ClassVar QM_HOST_SYMBOL(rtl_Exception_ClassVar) = rtl_Exception_Class;
}

bool RtlBaseClassesBuilt() {
  static const bool built = [] {
    HostClassBuilder(rtl_TObject_Class_Storage, "TObject")
        .InstanceSize(4)
        .Root(kVmtEquals, reinterpret_cast<void*>(&RtlObjectEquals))
        .Root(kVmtGetHashCode, reinterpret_cast<void*>(&RtlObjectGetHashCode))
        .Root(kVmtToString, reinterpret_cast<void*>(&RtlObjectToString))
        .Root(kVmtSafeCallException, reinterpret_cast<void*>(&RtlObjectSafeCallException))
        .Root(kVmtAfterConstruction, reinterpret_cast<void*>(&RtlObjectAfterConstruction))
        .Root(kVmtBeforeDestruction, reinterpret_cast<void*>(&RtlObjectBeforeDestruction))
        .Root(kVmtDispatch, reinterpret_cast<void*>(&RtlObjectDispatch))
        .Root(kVmtDefaultHandler, reinterpret_cast<void*>(&RtlObjectDefaultHandler))
        .Root(kVmtNewInstance, reinterpret_cast<void*>(&RtlObjectNewInstance))
        .Root(kVmtFreeInstance, reinterpret_cast<void*>(&RtlObjectFreeInstance))
        .Root(kVmtDestroy, reinterpret_cast<void*>(&RtlObjectDestroy))
        .Build();
    HostClassBuilder(rtl_Exception_Class_Storage, "Exception")
        .Parent(&rtl_TObject_ClassVar)
        .InstanceSize(kExceptionInstanceSize)
        .Root(kVmtDestroy, reinterpret_cast<void*>(&RtlExceptionDestroy))
        .Build();
    HostClassBuilder(rtl_EInvalidPointer_Class_Storage, "EInvalidPointer").Parent(&rtl_Exception_ClassVar).Build();
    return true;
  }();
  return built;
}

namespace {

const bool kClassesBuilt = RtlBaseClassesBuilt();

} // namespace
