// The IDE's main form class (MainFormDriver.h): TAppBuilder with its own
// WM_SETTINGCHANGE handler, which restores a minimised window.
#include <windows.h>

#include <cstdint>
#include <mutex>
#include <type_traits>

#include "Common/HostClass.h"
#include "MainFormDriver.h"
#include "vcl150/FormWindowDriver.h"

using namespace QmHost;
using namespace MainFormDriver;

QM_HOST_CLASS(coreide_TAppBuilder_Class, 10);  // TCustomForm has 10 virtual methods

namespace {

using CreateFn = void*(QM_HOST_REGISTER*)(void* classRef, int alloc, void* owner);
using HandlerFn = void(QM_HOST_REGISTER*)(void* self, void* message);

void* g_formClassVar = nullptr;
void* g_mainFormClass = nullptr;

template <class T>
T& At(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

template <class T>
T VclProc(const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"vcl150.bpl"), name)));
}

void QM_HOST_REGISTER AppBuilderSettingChange(void* self, void* message) {
  if (At<std::uint8_t>(self, MainFormLayout::WindowState) == 1) {
    At<std::uint8_t>(self, MainFormLayout::WindowState) = 0;
    ++At<std::int32_t>(self, MainFormLayout::Restores);
  }
  VclProc<HandlerFn>(FormWindowDriver::Export::WMSettingChange)(self, message);
}

void* MainFormClass() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_formClassVar = VclProc<void*>("@Forms@TCustomForm@");
    g_mainFormClass = HostClassBuilder(coreide_TAppBuilder_Class_Storage, "TAppBuilder")
                          .Parent(&g_formClassVar)
                          .InstanceSize(MainFormLayout::Size)
                          .Dynamic(WM_SETTINGCHANGE, reinterpret_cast<const void*>(&AppBuilderSettingChange))
                          .Build();
  });
  return g_mainFormClass;
}

[[maybe_unused]] const bool g_builtAtStart = GetModuleHandleW(L"vcl150.bpl") && MainFormClass();

} // namespace

extern "C" {

void* __stdcall CoreNewMainForm(int minimized) {
  if (!GetModuleHandleW(L"vcl150.bpl") || !MainFormClass()) return nullptr;  // an IDE without the component library
  void* form = VclProc<CreateFn>("@Controls@TCustomControl@$bctr$qqrp18Classes@TComponent")(MainFormClass(), 1, nullptr);
  At<std::uint8_t>(form, MainFormLayout::WindowState) = minimized ? 1 : 0;
  VclProc<FormWindowDriver::SetMainFormFn>(FormWindowDriver::Export::SetMainForm)(form);
  return form;
}

void __stdcall CoreMainFormState(void* form, int* windowState, int* restores) {
  if (windowState) *windowState = At<std::uint8_t>(form, MainFormLayout::WindowState);
  if (restores) *restores = At<std::int32_t>(form, MainFormLayout::Restores);
}

} // extern "C"

static_assert(std::is_same_v<decltype(&CoreNewMainForm), NewFn>, "New");
static_assert(std::is_same_v<decltype(&CoreMainFormState), StateFn>, "State");
