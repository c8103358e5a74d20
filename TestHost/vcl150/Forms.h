// Forms, action lists and menus as far as the IDE's shell patches meet them:
// the application object with a real window and its main-window hooks, the
// screen's active form, forms with window handles, actions (Execute runs
// Update first, then OnExecute) and menus (IsShortCut updates every item's
// action, then executes the one whose shortcut the key message carries).
// Layouts are the test host's choice (TestHost/README.md).
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"

namespace Vcl {

namespace ApplicationLayout {
constexpr int Handle = 28;        // HWND, 0 until the window is made
constexpr int Hooks = 32;         // array of {Code, Data}
constexpr int HookCount = 36;
constexpr int HookCapacity = 40;
constexpr int Activations = 44;   // WM_ACTIVATEAPP messages its own handling saw
constexpr int MainForm = 48;      // nil until one is set (FormWindow.cpp)
constexpr int Size = 52;
}  // namespace ApplicationLayout

namespace ScreenLayout {
constexpr int ActiveForm = 28;
constexpr int Size = 32;
}  // namespace ScreenLayout

namespace FormLayout {
constexpr int Handle = 56;  // the form's window (TWinControl's handle), 0 while it has none
constexpr int Size = 60;
}  // namespace FormLayout

namespace ActionLayout {
constexpr int OnExecute = 28;  // {Code, Data}: Code(EAX = Data, EDX = the action)
constexpr int OnUpdate = 36;   // {Code, Data}
constexpr int Enabled = 44;    // byte
constexpr int ShortCut = 46;   // word
constexpr int Executions = 48;
constexpr int Updates = 52;
constexpr int Size = 56;
}  // namespace ActionLayout

namespace MenuItemLayout {
constexpr int ShortCut = 28;  // word
constexpr int Action = 32;
constexpr int Size = 36;
}  // namespace MenuItemLayout

namespace MenuLayout {
constexpr int Items = 28;  // array of TMenuItem*
constexpr int Count = 32;
constexpr int Size = 36;
}  // namespace MenuLayout

struct TMessage {
  uint32_t Msg;
  int32_t WParam;
  int32_t LParam;
  int32_t Result;
};
struct TWMKey {
  uint32_t Msg;
  uint16_t CharCode;
  uint16_t Unused;
  int32_t KeyData;
  int32_t Result;
};
struct TMethod {
  void* Code;
  void* Data;
};

}  // namespace Vcl

extern "C" {
extern void* vcl_Application QM_HOST_SYMBOL(vcl_Application);
extern void* vcl_Screen QM_HOST_SYMBOL(vcl_Screen);
extern char vcl_TApplication_Class[] QM_HOST_SYMBOL(vcl_TApplication_Class);
extern char vcl_TScreen_Class[] QM_HOST_SYMBOL(vcl_TScreen_Class);
extern char vcl_TCustomForm_Class[] QM_HOST_SYMBOL(vcl_TCustomForm_Class);
extern char vcl_TCustomAction_Class[] QM_HOST_SYMBOL(vcl_TCustomAction_Class);
extern char vcl_TMenu_Class[] QM_HOST_SYMBOL(vcl_TMenu_Class);
extern char vcl_TMenuItem_Class[] QM_HOST_SYMBOL(vcl_TMenuItem_Class);
extern void* vcl_TCustomAction_ClassVar QM_HOST_SYMBOL(vcl_TCustomAction_ClassVar);

// HookMainWindow / UnhookMainWindow take the method pointer on the stack
// (FormsGlue.S) and pass it on here.
void QM_HOST_REGISTER vcl_ApplicationAddHook(void* self, void* code, void* data) QM_HOST_SYMBOL(vcl_ApplicationAddHook);
void QM_HOST_REGISTER vcl_ApplicationRemoveHook(void* self, void* code, void* data)
    QM_HOST_SYMBOL(vcl_ApplicationRemoveHook);
// Execute and IsShortCut: their entries (ActionsMenusEntries.S), and the bodies.
uint8_t QM_HOST_REGISTER vcl_TCustomAction_Execute(void* self) QM_HOST_SYMBOL(vcl_TCustomAction_Execute);
uint8_t QM_HOST_REGISTER vcl_TCustomAction_ExecuteBody(void* self) QM_HOST_SYMBOL(vcl_TCustomAction_ExecuteBody);
uint8_t QM_HOST_REGISTER vcl_TCustomAction_Update(void* self) QM_HOST_SYMBOL(vcl_TCustomAction_Update);
void QM_HOST_REGISTER vcl_TCustomAction_SetEnabled(void* self, uint32_t value) QM_HOST_SYMBOL(vcl_TCustomAction_SetEnabled);
uint8_t QM_HOST_REGISTER vcl_TMenu_IsShortCut(void* self, Vcl::TWMKey* message) QM_HOST_SYMBOL(vcl_TMenu_IsShortCut);
uint8_t QM_HOST_REGISTER vcl_TMenu_IsShortCutBody(void* self, Vcl::TWMKey* message) QM_HOST_SYMBOL(vcl_TMenu_IsShortCutBody);
uint16_t QM_HOST_REGISTER vcl_ShortCutFromMessage(const Vcl::TWMKey* message) QM_HOST_SYMBOL(vcl_ShortCutFromMessage);
}
