// Classes: TPersistent and TComponent are the run-time's (rtl150.bpl, unit
// Classes): this library's classes derive from them through the variables
// bound at start-up, and its code reaches their methods through these
// forwarders. The library's own exception classes are built here.
#include <type_traits>

#include "Common/HostClass.h"
#include "VclClasses.h"
#include "VclInternal.h"
#include "rtl150/ComponentsDriver.h"

using namespace QmHost;
using namespace Vcl;

QM_HOST_CLASS(vcl_EConvertError_Class, 0);
QM_HOST_CLASS(vcl_EOutOfResources_Class, 0);

extern "C" {
void* vcl_TPersistent_ClassVar = nullptr;
void* vcl_TComponent_ClassVar = nullptr;
}

namespace {

using TAssignFn = void(QM_HOST_REGISTER*)(void* self, void* source);

TAssignFn g_assign = nullptr;
ComponentsDriver::ComponentCreateFn g_componentCreate = nullptr;
TDestroyFn g_componentDestroy = nullptr;

bool BuildErrors() {
  return HostClassBuilder(vcl_EConvertError_Class_Storage, "EConvertError").Parent(&vcl_Exception_ClassVar).Build() &&
         HostClassBuilder(vcl_EOutOfResources_Class_Storage, "EOutOfResources")
             .Parent(&vcl_Exception_ClassVar)
             .Build();
}

const VclClassRegistration kErrors{"EConvertError EOutOfResources", "Exception", &BuildErrors};

} // namespace

namespace Vcl {

bool BindRuntimeComponents(HMODULE rtl) {
  namespace E = ComponentsDriver::Export;
  auto bind = [rtl](auto& slot, const char* name) {
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(reinterpret_cast<void*>(GetProcAddress(rtl, name)));
    return slot != nullptr;
  };
  return bind(vcl_TPersistent_ClassVar, E::PersistentClass) && bind(vcl_TComponent_ClassVar, E::ComponentClass) &&
         bind(g_assign, E::PersistentAssign) && bind(g_componentCreate, E::ComponentCreate) &&
         bind(g_componentDestroy, E::ComponentDestroy);
}

} // namespace Vcl

extern "C" {

void QM_HOST_REGISTER vcl_TPersistent_Assign(void* self, void* source) { g_assign(self, source); }

void* QM_HOST_REGISTER vcl_TComponent_Create(void* classOrSelf, int alloc, void* owner) {
  return g_componentCreate(classOrSelf, alloc, owner);
}

void QM_HOST_REGISTER vcl_TComponent_Destroy(void* self, int outermost) { g_componentDestroy(self, outermost); }

} // extern "C"
