// Forms: the application object and its window, the screen, forms. The
// application and the screen are made when their classes are built, at the
// package's start-up; the application's window is made on request (a
// process without a display has none). The window procedure offers every
// message to the main-window hooks first (in the order they were added);
// one that answers true has handled it. Otherwise the application's own
// handling runs: it counts WM_ACTIVATEAPP and does nothing about the
// focus (the active form does not get it back when the application is
// activated again).
#include "Forms.h"

#include <cstdlib>
#include <vector>

#include "Common/HostClass.h"
#include "FormWindowDriver.h"
#include "FormsDriver.h"
#include "VclClasses.h"
#include "VclInternal.h"

using namespace QmHost;
using namespace Vcl;

QM_HOST_CLASS(vcl_TApplication_Class, ComponentSlot::Count);
QM_HOST_CLASS(vcl_TScreen_Class, ComponentSlot::Count);
QM_HOST_CLASS(vcl_TCustomForm_Class, FormWindowDriver::CreateParamsSlot + 1);

extern "C" {
void* vcl_Application = nullptr;
void* vcl_Screen = nullptr;
// FormWindow.cpp.
void QM_HOST_REGISTER vcl_TCustomForm_CreateParams(void* form, FormWindowDriver::TCreateParams* params)
    QM_HOST_SYMBOL(vcl_TCustomForm_CreateParams);
void QM_HOST_REGISTER vcl_TCustomForm_WMSettingChange(void* form, Vcl::TMessage* message)
    QM_HOST_SYMBOL(vcl_TCustomForm_WMSettingChange);
}

namespace {

void* g_applicationClass = nullptr;
void* g_screenClass = nullptr;
void* g_formClass = nullptr;
const wchar_t* const ApplicationWindowClass = L"TApplication";
const wchar_t* const FormWindowClass = L"TQmStandInForm";

using THookFn = uint8_t(QM_HOST_REGISTER*)(void* data, TMessage* message);

LRESULT CALLBACK ApplicationWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  void* app = vcl_Application;
  if (app && Field<HWND>(app, ApplicationLayout::Handle) == window) {
    // The hooks as they are now: a hook may remove itself.
    const auto* hooks = Field<TMethod*>(app, ApplicationLayout::Hooks);
    const std::vector<TMethod> current(hooks, hooks + Field<int32_t>(app, ApplicationLayout::HookCount));
    TMessage m{message, int32_t(wParam), int32_t(lParam), 0};
    for (const TMethod& hook : current)
      if (reinterpret_cast<THookFn>(hook.Code)(hook.Data, &m) & 0xFF) return m.Result;
    if (message == WM_ACTIVATEAPP) ++Field<int32_t>(app, ApplicationLayout::Activations);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterWindowClass(const wchar_t* name, WNDPROC proc) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = name;
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  return RegisterClassW(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool BuildForms() {
  g_applicationClass = HostClassBuilder(vcl_TApplication_Class_Storage, "TApplication")
                           .Parent(&vcl_TComponent_ClassVar)
                           .InstanceSize(ApplicationLayout::Size)
                           .TypeInfo("Forms")
                           .Build();
  g_screenClass = HostClassBuilder(vcl_TScreen_Class_Storage, "TScreen")
                      .Parent(&vcl_TComponent_ClassVar)
                      .InstanceSize(ScreenLayout::Size)
                      .TypeInfo("Forms")
                      .Build();
  if (!g_applicationClass || !g_screenClass) return false;
  vcl_Application = vcl_TComponent_Create(g_applicationClass, 1, nullptr);
  vcl_Screen = vcl_TComponent_Create(g_screenClass, 1, nullptr);
  return true;
}

bool BuildCustomForm() {
  g_formClass = HostClassBuilder(vcl_TCustomForm_Class_Storage, "TCustomForm")
                    .Parent(&vcl_TCustomControl_ClassVar)
                    .InstanceSize(FormLayout::Size)
                    .Virtual(FormWindowDriver::CreateParamsSlot, reinterpret_cast<void*>(&vcl_TCustomForm_CreateParams))
                    .Dynamic(WM_SETTINGCHANGE, reinterpret_cast<void*>(&vcl_TCustomForm_WMSettingChange))
                    .TypeInfo("Forms")
                    .Build();
  return g_formClass != nullptr;
}

const VclClassRegistration kForms{"TApplication TScreen", "TComponent", &BuildForms};
const VclClassRegistration kCustomForm{"TCustomForm", "TCustomControl", &BuildCustomForm};

}  // namespace

extern "C" {

void QM_HOST_REGISTER vcl_ApplicationAddHook(void* self, void* code, void* data) {
  int32_t& count = Field<int32_t>(self, ApplicationLayout::HookCount);
  int32_t& capacity = Field<int32_t>(self, ApplicationLayout::HookCapacity);
  TMethod*& hooks = Field<TMethod*>(self, ApplicationLayout::Hooks);
  if (count == capacity) {
    capacity = capacity ? capacity * 2 : 4;
    hooks = static_cast<TMethod*>(std::realloc(hooks, sizeof(TMethod) * size_t(capacity)));
  }
  hooks[count++] = TMethod{code, data};
}

void QM_HOST_REGISTER vcl_ApplicationRemoveHook(void* self, void* code, void* data) {
  int32_t& count = Field<int32_t>(self, ApplicationLayout::HookCount);
  TMethod* hooks = Field<TMethod*>(self, ApplicationLayout::Hooks);
  for (int32_t i = 0; i < count; ++i)
    if (hooks[i].Code == code && hooks[i].Data == data) {
      for (int32_t j = i + 1; j < count; ++j) hooks[j - 1] = hooks[j];
      --count;
      return;
    }
}

// ---- driver (FormsDriver.h) --------------------------------------------------------

void* __stdcall VclApplication() { return vcl_Application; }

HWND __stdcall VclApplicationHandle(int32_t create) {
  HWND& handle = Field<HWND>(vcl_Application, ApplicationLayout::Handle);
  if (!handle && create && RegisterWindowClass(ApplicationWindowClass, &ApplicationWindowProc))
    handle = CreateWindowExW(0, ApplicationWindowClass, L"Stand-in IDE", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  return handle;
}

void __stdcall VclApplicationState(int32_t* hooks, int32_t* activations) {
  if (hooks) *hooks = Field<int32_t>(vcl_Application, ApplicationLayout::HookCount);
  if (activations) *activations = Field<int32_t>(vcl_Application, ApplicationLayout::Activations);
}

void* __stdcall VclNewForm(int32_t withWindow) {
  void* form = vcl_TCustomControl_Create(g_formClass, 1, nullptr);
  if (withWindow && RegisterWindowClass(FormWindowClass, &DefWindowProcW))
    Field<HWND>(form, FormLayout::Handle) =
        CreateWindowExW(0, FormWindowClass, L"Stand-in form", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 320, 200,
                        nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  return form;
}

HWND __stdcall VclFormHandle(void* form) { return Field<HWND>(form, FormLayout::Handle); }

void __stdcall VclSetActiveForm(void* form) { Field<void*>(vcl_Screen, ScreenLayout::ActiveForm) = form; }

void __stdcall VclFreeForm(void* form) {
  if (!form) return;
  if (Field<void*>(vcl_Screen, ScreenLayout::ActiveForm) == form) VclSetActiveForm(nullptr);
  if (HWND window = Field<HWND>(form, FormLayout::Handle)) DestroyWindow(window);
  FreeObject(form);
}

}  // extern "C"

namespace D = FormsDriver;
static_assert(std::is_same_v<decltype(&VclApplication), D::ApplicationFn> &&
                  std::is_same_v<decltype(&VclApplicationHandle), D::ApplicationHandleFn> &&
                  std::is_same_v<decltype(&VclApplicationState), D::ApplicationStateFn> &&
                  std::is_same_v<decltype(&VclNewForm), D::NewFormFn> &&
                  std::is_same_v<decltype(&VclFormHandle), D::FormHandleFn> &&
                  std::is_same_v<decltype(&VclSetActiveForm), D::ObjectFn> &&
                  std::is_same_v<decltype(&VclFreeForm), D::ObjectFn>,
              "exports differ from FormsDriver.h");
