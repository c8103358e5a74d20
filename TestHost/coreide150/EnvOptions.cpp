// Envoptions.EnvironmentOptions: a component named "EnvironmentOptions"
// owning one property field (vclide150.bpl) per option.
#include <windows.h>

#include <wtypes.h>

#include <type_traits>

#include "Common/HostRtl.h"
#include "EnvOptionsDriver.h"
#include "rtl150/ComponentsDriver.h"
#include "vclide150/PropFieldDriver.h"

extern "C" {
void* coreide_EnvironmentOptions = nullptr;
}

namespace {

void* g_helpInsight = nullptr;

template <class T>
T Bind(const wchar_t* module, const char* name) {
  HMODULE handle = GetModuleHandleW(module);
  return reinterpret_cast<T>(reinterpret_cast<void*>(handle ? GetProcAddress(handle, name) : nullptr));
}

}  // namespace

extern "C" void* __stdcall EnvOptionsBuild(int32_t helpInsight) {
  auto newField = Bind<PropFieldDriver::NewFn>(L"vclide150.bpl", PropFieldDriver::Export::New);
  auto setField = Bind<PropFieldDriver::SetFn>(L"vclide150.bpl", PropFieldDriver::Export::Set);
  auto create = Bind<ComponentsDriver::ComponentCreateFn>(L"rtl150.bpl", ComponentsDriver::Export::ComponentCreate);
  void* componentClass = Bind<void*>(L"rtl150.bpl", ComponentsDriver::Export::ComponentClass);
  if (!newField || !setField || !create || !componentClass) return nullptr;
  if (!coreide_EnvironmentOptions) {
    void* options = create(componentClass, 1, nullptr);
    g_helpInsight = newField(options, L"CodeInsightHelpInsight", VT_BOOL, helpInsight);
    newField(options, L"AutoSaveEditorFiles", VT_I4, 0);
    coreide_EnvironmentOptions = options;
  }
  setField(g_helpInsight, VT_BOOL, helpInsight);
  return coreide_EnvironmentOptions;
}

static_assert(std::is_same_v<decltype(&EnvOptionsBuild), EnvOptionsDriver::BuildFn>, "export differs from EnvOptionsDriver.h");
