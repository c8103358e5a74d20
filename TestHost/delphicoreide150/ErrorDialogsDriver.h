// The stand-in form-loading error dialogs (delphicoreide150.bpl, units
// Firecov and Formread), declared once for the stand-in, the tests and the
// benchmarks.
//
// Both dialogs are classes over vcl150's TCustomForm, built when the
// package starts: `@Firecov@TRecoverFormInheritence@` (940 bytes) and
// `@Formread@TReadErrorDlg@` (932 bytes). A dialog's form fields: +0x40
// BorderStyle (1 single, 2 sizeable, 3 dialog), +0x41 BorderIcons (a set:
// 1 system menu, 2 minimise, 4 maximise, 8 help), +0x44 ClientWidth,
// +0x48 ClientHeight, +0x4C Caption (a host string), +0x50 OnResize
// {Code, Data} (Code: EAX = Data, EDX = the form), called by the driver's
// resize. Its controls are vcl150's TWinControls (WinControlDriver.h), made
// by its constructor with the dialog as owner and parent:
// - TRecoverFormInheritence: +0x380 the list box, +0x384 the message label,
//   +0x388 the button panel holding +0x38C OK, +0x390 Cancel, +0x394 Ignore.
//   `@Firecov@TRecoverFormInheritence@Setup$qqrx20System@UnicodeStringt1t1t1o`
//   (EAX = dialog, EDX = the form's name, ECX = its ancestor's, then on the
//   stack the file's name, the candidates as comma text, whether Ignore is
//   offered): the list filled, Ignore shown or hidden, the message made of
//   the three quoted names, and the dialog laid out at a fixed size: a
//   dialog border, system menu and help, client 360 × 220 (**the fault**:
//   long names and lists do not fit and the user cannot make it larger).
// - TReadErrorDlg: +0x380 the message label, +0x384 Ignore, +0x388 Ignore
//   All, +0x38C Cancel (75 × 25 each). Its constructor
//   `@Formread@TReadErrorDlg@$bctr$qqrp18Classes@TComponent` (EAX = class,
//   DL = 1, ECX = owner) lays it out at a fixed size: a dialog border,
//   caption "Error Reading Form", client 420 × 160.
//   `@Formread@FormReadError$qqrx20System@UnicodeStringt1` (EAX = the
//   file's name, EDX = the message → EAX): the dialog made, the message
//   shown in it modally, the dialog freed, the modal result returned (**the
//   fault**: the fixed dialog cuts long messages off, and its caption does
//   not say which file failed).
// Setup and FormReadError start as the host's compiler starts a routine.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "Common/HostLayout.h"

namespace ErrorDialogsDriver {

namespace Export {
constexpr const char* RecoverClass = "@Firecov@TRecoverFormInheritence@";
constexpr const char* Setup = "@Firecov@TRecoverFormInheritence@Setup$qqrx20System@UnicodeStringt1t1t1o";
constexpr const char* ReadErrorClass = "@Formread@TReadErrorDlg@";
constexpr const char* ReadErrorCreate = "@Formread@TReadErrorDlg@$bctr$qqrp18Classes@TComponent";
constexpr const char* FormReadError = "@Formread@FormReadError$qqrx20System@UnicodeStringt1";
// Driver (stdcall).
constexpr const char* Recover = "DcRecoverInheritance";
constexpr const char* ReadError = "DcFormReadError";
constexpr const char* Resize = "DcResizeDialog";
}  // namespace Export

namespace DialogLayout {
constexpr int BorderStyle = 0x40, BorderIcons = 0x41, ClientWidth = 0x44, ClientHeight = 0x48, Caption = 0x4C,
              OnResize = 0x50;
}
namespace RecoverLayout {
constexpr int ListBox = 0x380, Message = 0x384, ButtonPanel = 0x388, Ok = 0x38C, Cancel = 0x390, Ignore = 0x394,
              Size = 940;
}
namespace ReadErrorLayout {
constexpr int Message = 0x380, Ignore = 0x384, IgnoreAll = 0x388, Cancel = 0x38C, Size = 932;
}
enum TBorderStyle : std::uint8_t { bsSingle = 1, bsSizeable = 2, bsDialog = 3 };
enum TBorderIcon : std::uint8_t { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };

using SetupFn = void(QM_HOST_REGISTER*)(void* dialog, const wchar_t* formName, const wchar_t* ancestorName,
                                        std::uint32_t allowIgnore, const wchar_t* candidates, const wchar_t* fileName);
using FormReadErrorFn = std::int32_t(QM_HOST_REGISTER*)(const wchar_t* fileName, const wchar_t* message);

// A recovery dialog made, set up with these texts (made host strings),
// shown modally (vcl150's probe sees it) and freed → its modal result.
using RecoverFn = int(__stdcall*)(const wchar_t* formName, const wchar_t* ancestorName, const wchar_t* fileName,
                                  const wchar_t* candidates, int allowIgnore);
// FormReadError with these texts (made host strings) → its result.
using ReadErrorFn = int(__stdcall*)(const wchar_t* fileName, const wchar_t* message);
// The dialog's client size set, then its OnResize called (when set).
using ResizeFn = void(__stdcall*)(void* dialog, int clientWidth, int clientHeight);

struct Driver {
  SetupFn Setup = nullptr;
  FormReadErrorFn FormReadError = nullptr;
  RecoverFn Recover = nullptr;
  ReadErrorFn ReadError = nullptr;
  ResizeFn Resize = nullptr;

  bool Bind(HMODULE module) {
    auto bind = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
          reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
      return slot != nullptr;
    };
    bool ok = bind(Setup, Export::Setup);
    ok = bind(FormReadError, Export::FormReadError) && ok;
    ok = bind(Recover, Export::Recover) && ok;
    ok = bind(ReadError, Export::ReadError) && ok;
    return bind(Resize, Export::Resize) && ok;
  }
};

}  // namespace ErrorDialogsDriver
