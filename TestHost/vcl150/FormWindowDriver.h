// The stand-in form's window parameters and messages (vcl150.bpl, unit
// Forms), declared once for the stand-ins, the tests and the benchmarks.
//
// TCustomForm's virtual method 9 is CreateParams (EAX = form, EDX = the
// parameters), also exported as
// `@Forms@TCustomForm@CreateParams$qqrr22Controls@TCreateParams`: a popup
// with a caption at the form's bounds whose parent window is the
// application's window (0 while it has none), never the main form's.
// TCreateParams (our layout, the host's field order): +0 Caption, +4
// Style, +8 ExStyle, +12 X, +16 Y, +20 Width, +24 Height, +28 WndParent,
// +32 Param, +36 WindowClass, +76 WinClassName; 204 bytes.
// TCustomForm's dynamic method 26 (WM_SETTINGCHANGE) is
// `@Forms@TCustomForm@WMSettingChange$qqrr17Messages@TMessage` (EAX =
// form, EDX = the message): it counts the change (VclSettingChanges).
// TApplication +48 MainForm (nil until one is set). A form's window handle
// is at +56, its height at +44.
// VclSendFormMessage dispatches a message as the host's TObject.Dispatch
// does: the handler of that index in the form's class or the nearest
// ancestor's dynamic method table.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "Common/HostLayout.h"

namespace FormWindowDriver {

namespace Export {
constexpr const char* CreateParams = "@Forms@TCustomForm@CreateParams$qqrr22Controls@TCreateParams";
constexpr const char* WMSettingChange = "@Forms@TCustomForm@WMSettingChange$qqrr17Messages@TMessage";
// Driver (stdcall).
constexpr const char* CallCreateParams = "VclCallCreateParams";
constexpr const char* SendFormMessage = "VclSendFormMessage";
constexpr const char* SetMainForm = "VclSetMainForm";
constexpr const char* SettingChanges = "VclSettingChanges";
}  // namespace Export

constexpr int CreateParamsSlot = 9;
namespace ApplicationLayout {
constexpr int MainForm = 48;
}
namespace FormLayout {
constexpr int Height = 44, Handle = 56;
}

struct TCreateParams {
  const wchar_t* Caption;
  std::uint32_t Style, ExStyle;
  std::int32_t X, Y, Width, Height;
  HWND WndParent;
  void* Param;
  WNDCLASSW WindowClass;
  wchar_t WinClassName[64];
};
static_assert(sizeof(TCreateParams) == 204, "TCreateParams");

using CreateParamsFn = void(QM_HOST_REGISTER*)(void* form, TCreateParams* params);
// The form's CreateParams through its virtual method table, on zeroed parameters.
using CallCreateParamsFn = void(__stdcall*)(void* form, TCreateParams* params);
// The message dispatched to the form → its Result.
using SendFormMessageFn = std::int32_t(__stdcall*)(void* form, std::uint32_t message, std::int32_t wParam,
                                                  std::int32_t lParam);
using SetMainFormFn = void(__stdcall*)(void* form);
using SettingChangesFn = int(__stdcall*)();

struct Driver {
  CallCreateParamsFn CallCreateParams = nullptr;
  SendFormMessageFn SendFormMessage = nullptr;
  SetMainFormFn SetMainForm = nullptr;
  SettingChangesFn SettingChanges = nullptr;

  bool Bind(HMODULE module) {
    auto bind = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
          reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
      return slot != nullptr;
    };
    bool ok = bind(CallCreateParams, Export::CallCreateParams);
    ok = bind(SendFormMessage, Export::SendFormMessage) && ok;
    ok = bind(SetMainForm, Export::SetMainForm) && ok;
    return bind(SettingChanges, Export::SettingChanges) && ok;
  }
};

}  // namespace FormWindowDriver
