// The form-loading error dialogs (ErrorDialogsDriver.h): their classes over
// vcl150's TCustomForm, their constructors, TRecoverFormInheritence.Setup
// and FormReadError as the host has them, at fixed sizes.
#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <type_traits>

#include "Common/HostClass.h"
#include "Common/HostRtl.h"
#include "ErrorDialogsDriver.h"
#include "vcl150/ModalDriver.h"
#include "vcl150/WinControlDriver.h"

using namespace QmHost;
using namespace ErrorDialogsDriver;
using namespace WinControlDriver;

QM_HOST_CLASS(delphicoreide_TRecoverFormInheritence_Class, 10);  // TCustomForm has 10 virtual methods
QM_HOST_CLASS(delphicoreide_TReadErrorDlg_Class, 10);  // TCustomForm has 10 virtual methods

namespace {

using CreateFn = void*(QM_HOST_REGISTER*)(void* classRef, int alloc, void* owner);
using ShowModalFn = std::int32_t(QM_HOST_REGISTER*)(void* form);
using DestroyFn = void(QM_HOST_REGISTER*)(void* self, int outermost);
using EventFn = void(QM_HOST_REGISTER*)(void* data, void* sender);

void* g_formClassVar = nullptr;
void* g_recoverClass = nullptr;
void* g_readErrorClass = nullptr;

template <class T>
T VclProc(const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"vcl150.bpl"), name)));
}

template <class T>
T& At(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

void SetText(void* object, int offset, const std::wstring& text) {
  const HostRtl* rtl = LoadedHostRtl();
  rtl->Release(At<wchar_t*>(object, offset));
  At<wchar_t*>(object, offset) = rtl->NewString(text);
}

void QM_HOST_REGISTER DialogDestroy(void* self, int outermost) {
  LoadedHostRtl()->Release(At<wchar_t*>(self, DialogLayout::Caption));
  reinterpret_cast<DestroyFn>(VmtSlot(HostParentClass(*static_cast<void**>(self)), kVmtDestroy))(self, outermost);
}

// Builds both classes once vcl150's TCustomForm is there.
bool BuildDialogClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_formClassVar = VclProc<void*>("@Forms@TCustomForm@");
    if (!g_formClassVar) return;
    g_recoverClass = HostClassBuilder(delphicoreide_TRecoverFormInheritence_Class_Storage, "TRecoverFormInheritence")
                         .Parent(&g_formClassVar)
                         .InstanceSize(RecoverLayout::Size)
                         .Root(kVmtDestroy, reinterpret_cast<const void*>(&DialogDestroy))
                         .Build();
    g_readErrorClass = HostClassBuilder(delphicoreide_TReadErrorDlg_Class_Storage, "TReadErrorDlg")
                           .Parent(&g_formClassVar)
                           .InstanceSize(ReadErrorLayout::Size)
                           .Root(kVmtDestroy, reinterpret_cast<const void*>(&DialogDestroy))
                           .Build();
  });
  return g_recoverClass && g_readErrorClass;
}
// At the package's start, when vcl150 is loaded before it (as the IDE loads them).
[[maybe_unused]] const bool g_builtAtStart = GetModuleHandleW(L"vcl150.bpl") && BuildDialogClasses();

void* NewControl(void* dialog, void* parent, int left, int top, int width, int height, const wchar_t* caption) {
  void* control = VclProc<CreateFn>(WinControlDriver::Export::WinControlCreate)(
      VclProc<void*>(WinControlDriver::Export::WinControlClass), 1, dialog);
  At<void*>(control, ControlLayout::Parent) = parent;
  At<std::int32_t>(control, ControlLayout::Left) = left;
  At<std::int32_t>(control, ControlLayout::Top) = top;
  At<std::int32_t>(control, ControlLayout::Width) = width;
  At<std::int32_t>(control, ControlLayout::Height) = height;
  if (caption) SetText(control, WinControlLayout::Caption, caption);
  return control;
}

void* NewDialog(void* classRef, void* owner) {
  auto create = VclProc<CreateFn>("@Controls@TCustomControl@$bctr$qqrp18Classes@TComponent");
  void* dialog = create(classRef, 1, owner);
  At<std::uint8_t>(dialog, ControlLayout::Visible) = 0;
  At<std::uint8_t>(dialog, DialogLayout::BorderStyle) = bsDialog;
  return dialog;
}

void* NewRecoverDialog() {
  BuildDialogClasses();
  void* dialog = NewDialog(g_recoverClass, nullptr);
  At<std::uint8_t>(dialog, DialogLayout::BorderIcons) = biSystemMenu | biHelp;
  SetText(dialog, DialogLayout::Caption, L"Form Inheritance");
  At<void*>(dialog, RecoverLayout::Message) = NewControl(dialog, dialog, 8, 8, 344, 28, nullptr);
  At<void*>(dialog, RecoverLayout::ListBox) = NewControl(dialog, dialog, 8, 40, 344, 120, nullptr);
  void* panel = NewControl(dialog, dialog, 104, 172, 248, 40, nullptr);
  At<void*>(dialog, RecoverLayout::ButtonPanel) = panel;
  At<void*>(dialog, RecoverLayout::Ok) = NewControl(dialog, panel, 0, 8, 75, 25, L"OK");
  At<void*>(dialog, RecoverLayout::Cancel) = NewControl(dialog, panel, 84, 8, 75, 25, L"Cancel");
  At<void*>(dialog, RecoverLayout::Ignore) = NewControl(dialog, panel, 168, 8, 75, 25, L"Ignore");
  return dialog;
}

std::wstring Text(const wchar_t* hostString) { return hostString ? std::wstring(hostString) : std::wstring(); }

} // namespace

extern "C" {

void* QM_HOST_REGISTER delphicoreide_TReadErrorDlg_Create(void* classRef, int alloc, void* owner)
    QM_HOST_SYMBOL(delphicoreide_TReadErrorDlg_Create);
void* QM_HOST_REGISTER delphicoreide_TReadErrorDlg_Create(void* classRef, int, void* owner) {
  BuildDialogClasses();
  void* dialog = NewDialog(classRef, owner);
  At<std::uint8_t>(dialog, DialogLayout::BorderIcons) = biSystemMenu;
  At<std::int32_t>(dialog, DialogLayout::ClientWidth) = 420;
  At<std::int32_t>(dialog, DialogLayout::ClientHeight) = 160;
  SetText(dialog, DialogLayout::Caption, L"Error Reading Form");
  At<void*>(dialog, ReadErrorLayout::Message) = NewControl(dialog, dialog, 8, 8, 404, 100, nullptr);
  At<void*>(dialog, ReadErrorLayout::Ignore) = NewControl(dialog, dialog, 170, 124, 75, 25, L"Ignore");
  At<void*>(dialog, ReadErrorLayout::IgnoreAll) = NewControl(dialog, dialog, 255, 124, 75, 25, L"Ignore All");
  At<void*>(dialog, ReadErrorLayout::Cancel) = NewControl(dialog, dialog, 340, 124, 75, 25, L"Cancel");
  return dialog;
}

// Setup's body (the entry is in ErrorDialogsCode.S; the stack arguments declared in reverse).
void QM_HOST_REGISTER delphicoreide_SetupBody(void* dialog, const wchar_t* formName, const wchar_t* ancestorName,
                                              std::uint32_t allowIgnore, const wchar_t* candidates,
                                              const wchar_t* fileName) QM_HOST_SYMBOL(delphicoreide_SetupBody);
void QM_HOST_REGISTER delphicoreide_SetupBody(void* dialog, const wchar_t* formName, const wchar_t* ancestorName,
                                              std::uint32_t allowIgnore, const wchar_t* candidates,
                                              const wchar_t* fileName) {
  SetText(At<void*>(dialog, RecoverLayout::ListBox), WinControlLayout::Items, Text(candidates));
  At<std::uint8_t>(At<void*>(dialog, RecoverLayout::Ignore), ControlLayout::Visible) = (allowIgnore & 0xFF) ? 1 : 0;
  SetText(At<void*>(dialog, RecoverLayout::Message), WinControlLayout::Caption,
          L"Form \"" + Text(formName) + L"\" inherits from \"" + Text(ancestorName) +
              L"\", which is not found in \"" + Text(fileName) + L"\". Choose the form to inherit from instead:");
  At<std::uint8_t>(dialog, DialogLayout::BorderStyle) = bsDialog;
  At<std::uint8_t>(dialog, DialogLayout::BorderIcons) = biSystemMenu | biHelp;
  At<std::int32_t>(dialog, DialogLayout::ClientWidth) = 360;
  At<std::int32_t>(dialog, DialogLayout::ClientHeight) = 220;
}

std::int32_t QM_HOST_REGISTER delphicoreide_FormReadErrorBody(const wchar_t* fileName, const wchar_t* message)
    QM_HOST_SYMBOL(delphicoreide_FormReadErrorBody);
std::int32_t QM_HOST_REGISTER delphicoreide_FormReadErrorBody(const wchar_t*, const wchar_t* message) {
  void* application = *VclProc<void**>("@Forms@Application");
  void* dialog = delphicoreide_TReadErrorDlg_Create(g_readErrorClass, 1, application);
  SetText(At<void*>(dialog, ReadErrorLayout::Message), WinControlLayout::Caption, Text(message));
  const std::int32_t result = VclProc<ShowModalFn>(ModalDriver::Export::ShowModal)(dialog);
  LoadedHostRtl()->objectFree(dialog);
  return result;
}

int __stdcall DcRecoverInheritance(const wchar_t* formName, const wchar_t* ancestorName, const wchar_t* fileName,
                                   const wchar_t* candidates, int allowIgnore) {
  const HostRtl* rtl = LoadedHostRtl();
  wchar_t* texts[4] = {rtl->NewString(formName), rtl->NewString(ancestorName), rtl->NewString(fileName),
                       rtl->NewString(candidates)};
  void* dialog = NewRecoverDialog();
  auto setup = reinterpret_cast<SetupFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"delphicoreide150.bpl"), ErrorDialogsDriver::Export::Setup)));
  setup(dialog, texts[0], texts[1], std::uint32_t(allowIgnore != 0), texts[3], texts[2]);
  const int result = VclProc<ShowModalFn>(ModalDriver::Export::ShowModal)(dialog);
  rtl->objectFree(dialog);
  for (wchar_t*& text : texts) rtl->Release(text);
  return result;
}

int __stdcall DcFormReadError(const wchar_t* fileName, const wchar_t* message) {
  const HostRtl* rtl = LoadedHostRtl();
  wchar_t* file = rtl->NewString(fileName);
  wchar_t* text = rtl->NewString(message);
  auto formReadError = reinterpret_cast<FormReadErrorFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"delphicoreide150.bpl"), ErrorDialogsDriver::Export::FormReadError)));
  const int result = formReadError(file, text);
  rtl->Release(file);
  rtl->Release(text);
  return result;
}

void __stdcall DcResizeDialog(void* dialog, int clientWidth, int clientHeight) {
  At<std::int32_t>(dialog, DialogLayout::ClientWidth) = clientWidth;
  At<std::int32_t>(dialog, DialogLayout::ClientHeight) = clientHeight;
  const HostMethod handler = At<HostMethod>(dialog, DialogLayout::OnResize);
  if (handler.code) reinterpret_cast<EventFn>(handler.code)(handler.data, dialog);
}

} // extern "C"

static_assert(std::is_same_v<decltype(&DcRecoverInheritance), RecoverFn>, "Recover");
static_assert(std::is_same_v<decltype(&DcFormReadError), ReadErrorFn>, "ReadError");
static_assert(std::is_same_v<decltype(&DcResizeDialog), ResizeFn>, "Resize");
