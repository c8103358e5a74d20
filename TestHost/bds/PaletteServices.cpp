#include "PaletteServices.h"

#include "delphicoreide150/PaletteManagerDriver.h"

namespace QmHost {

namespace {

const GUID kPaletteServices = {0x6963F71C, 0x0A3F, 0x4598, {0xB6, 0xF6, 0x95, 0x74, 0xCE, 0x0E, 0x68, 0x47}};

// function BaseGroup: IOTAPaletteGroup — EAX = Self, EDX = result variable.
void QM_HOST_REGISTER BaseGroup(ServiceObject*, void** result) {
  using namespace PaletteManagerDriver;
  auto services = Bind<ServicesFn>(GetModuleHandleW(L"delphicoreide150.bpl"), Export::Services);
  void* root = services ? services() : nullptr;
  void* palette = nullptr;
  using QueryFn = HRESULT(__stdcall*)(void*, const GUID*, void**);
  if (!root || reinterpret_cast<QueryFn>((*static_cast<void* const* const*>(root))[0])(root, &kPaletteServices, &palette) != S_OK) {
    using ReleaseFn = ULONG(__stdcall*)(void*);
    void* old = *result;
    *result = nullptr;
    if (old) reinterpret_cast<ReleaseFn>((*static_cast<void* const* const*>(old))[2])(old);
    return;
  }
  using BaseGroupFn = void(QM_HOST_REGISTER*)(void*, void**);
  reinterpret_cast<BaseGroupFn>((*static_cast<void* const* const*>(palette))[4])(palette, result);
}

const void* const kMethods[] = {
    reinterpret_cast<const void*>(&ServiceQueryInterface), reinterpret_cast<const void*>(&ServiceAddRef),
    reinterpret_cast<const void*>(&ServiceRelease), reinterpret_cast<const void*>(&UnsupportedMethod<3>),
    reinterpret_cast<const void*>(&BaseGroup)};

ServiceObject g_service = {kMethods, kPaletteServices, L"PaletteServices", 1};

} // namespace

ServiceObject* PaletteServices() { return &g_service; }

} // namespace QmHost
