// Idepropset.TPropField: a component holding one value, read as a variant
// through GetValue (the environment options are made of them).
#include <windows.h>

#include <oaidl.h>

#include <type_traits>

#include "Common/HostClass.h"
#include "Common/HostRtl.h"
#include "PropFieldDriver.h"
#include "rtl150/ComponentsDriver.h"

using namespace QmHost;
namespace L = PropFieldDriver::Layout;

QM_HOST_CLASS(vclide_TPropField_Class, ComponentsDriver::ComponentSlot::Count);

extern "C" {
extern char vclide_TPropField_Class[] QM_HOST_SYMBOL(vclide_TPropField_Class);
void QM_HOST_REGISTER VclIdePropFieldGetValue(void* self, void* result) QM_HOST_SYMBOL(vclide_TPropField_GetValue);
}

namespace {

void* g_componentClassVar = nullptr;

template <class T>
T& Field(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

HMODULE Rtl() { return GetModuleHandleW(L"rtl150.bpl"); }

template <class T>
T RuntimeExport(const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(Rtl(), name)));
}

bool ClassBuilt() {
  static const bool built = [] {
    g_componentClassVar = RuntimeExport<void*>(ComponentsDriver::Export::ComponentClass);
    return g_componentClassVar && HostClassBuilder(vclide_TPropField_Class_Storage, "TPropField")
                                          .Parent(&g_componentClassVar)
                                          .InstanceSize(L::Size)
                                          .TypeInfo("Idepropset")
                                          .Build() != nullptr;
  }();
  return built;
}

}  // namespace

extern "C" {

void QM_HOST_REGISTER VclIdePropFieldGetValue(void* self, void* result) {
  auto* v = static_cast<VARIANT*>(result);
  v->vt = VARTYPE(Field<int32_t>(self, L::ValueType));
  v->wReserved1 = v->wReserved2 = v->wReserved3 = 0;
  v->llVal = 0;
  if (v->vt == VT_BOOL) v->boolVal = Field<int32_t>(self, L::Value) ? VARIANT_TRUE : VARIANT_FALSE;
  else v->lVal = Field<int32_t>(self, L::Value);
}

void __stdcall VclIdeSetPropField(void* field, int32_t varType, int32_t value) {
  Field<int32_t>(field, L::ValueType) = varType;
  Field<int32_t>(field, L::Value) = value;
}

void* __stdcall VclIdeNewPropField(void* owner, const wchar_t* name, int32_t varType, int32_t value) {
  if (!ClassBuilt()) return nullptr;
  void* field = RuntimeExport<ComponentsDriver::ComponentCreateFn>(ComponentsDriver::Export::ComponentCreate)(
      vclide_TPropField_Class, 1, owner);
  const HostRtl* rtl = LoadedHostRtl();
  wchar_t* text = rtl->NewString(name);
  RuntimeExport<ComponentsDriver::SetNameFn>(ComponentsDriver::Export::SetName)(field, text);
  rtl->Release(text);
  VclIdeSetPropField(field, varType, value);
  return field;
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&VclIdePropFieldGetValue), PropFieldDriver::GetValueFn> &&
                  std::is_same_v<decltype(&VclIdeNewPropField), PropFieldDriver::NewFn> &&
                  std::is_same_v<decltype(&VclIdeSetPropField), PropFieldDriver::SetFn>,
              "exports differ from PropFieldDriver.h");
