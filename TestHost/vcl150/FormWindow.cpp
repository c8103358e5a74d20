// A form's window parameters and messages (FormWindowDriver.h):
// TCustomForm.CreateParams and WMSettingChange, the application's main
// form, and a dispatch of messages through the dynamic method tables.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <type_traits>

#include "Common/HostClass.h"
#include "FormWindowDriver.h"
#include "Forms.h"
#include "VclInternal.h"

using namespace Vcl;
using FormWindowDriver::TCreateParams;

namespace {

std::atomic<int> g_settingChanges{0};

} // namespace

extern "C" {

void QM_HOST_REGISTER vcl_TCustomForm_CreateParams(void* form, TCreateParams* params)
    QM_HOST_SYMBOL(vcl_TCustomForm_CreateParams);
void QM_HOST_REGISTER vcl_TCustomForm_WMSettingChange(void* form, TMessage* message)
    QM_HOST_SYMBOL(vcl_TCustomForm_WMSettingChange);

void QM_HOST_REGISTER vcl_TCustomForm_CreateParams(void* form, TCreateParams* params) {
  params->Style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  params->X = Field<int32_t>(form, ControlLayout::Left);
  params->Y = Field<int32_t>(form, ControlLayout::Top);
  params->Width = Field<int32_t>(form, ControlLayout::Width);
  params->Height = Field<int32_t>(form, ControlLayout::Height);
  params->WndParent = vcl_Application ? Field<HWND>(vcl_Application, ApplicationLayout::Handle) : nullptr;
  std::wcscpy(params->WinClassName, L"TQmStandInForm");
}

void QM_HOST_REGISTER vcl_TCustomForm_WMSettingChange(void*, TMessage*) { ++g_settingChanges; }

void __stdcall VclCallCreateParams(void* form, TCreateParams* params) {
  std::memset(params, 0, sizeof *params);
  Virtual<FormWindowDriver::CreateParamsFn>(form, FormWindowDriver::CreateParamsSlot)(form, params);
}

int32_t __stdcall VclSendFormMessage(void* form, uint32_t message, int32_t wParam, int32_t lParam) {
  TMessage m{message, wParam, lParam, 0};
  using THandler = void(QM_HOST_REGISTER*)(void* self, TMessage* message);
  if (void* handler = QmHost::FindDynamicMethod(ClassOf(form), int16_t(message)))
    reinterpret_cast<THandler>(handler)(form, &m);
  return m.Result;
}

void __stdcall VclSetMainForm(void* form) { Field<void*>(vcl_Application, FormWindowDriver::ApplicationLayout::MainForm) = form; }

int __stdcall VclSettingChanges() { return g_settingChanges.load(); }

} // extern "C"

static_assert(std::is_same_v<decltype(&vcl_TCustomForm_CreateParams), FormWindowDriver::CreateParamsFn>, "CreateParams");
static_assert(std::is_same_v<decltype(&VclCallCreateParams), FormWindowDriver::CallCreateParamsFn>, "CallCreateParams");
static_assert(std::is_same_v<decltype(&VclSendFormMessage), FormWindowDriver::SendFormMessageFn>, "SendFormMessage");
static_assert(std::is_same_v<decltype(&VclSetMainForm), FormWindowDriver::SetMainFormFn>, "SetMainForm");
static_assert(std::is_same_v<decltype(&VclSettingChanges), FormWindowDriver::SettingChangesFn>, "SettingChanges");
