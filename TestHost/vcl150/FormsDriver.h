// The shell classes' driver (vcl150.bpl: Forms.cpp, ActionsMenus.cpp),
// declared once for bds.exe, the packages that use them, the tests and the
// benchmarks: the host's exports and the stand-in's helpers.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "Common/HostLayout.h"

namespace FormsDriver {

namespace Export {
constexpr const char* Application = "@Forms@Application";
constexpr const char* Screen = "@Forms@Screen";
constexpr const char* HookMainWindow = "@Forms@TApplication@HookMainWindow$qqrynpqqrr17Messages@TMessage$o";
constexpr const char* UnhookMainWindow = "@Forms@TApplication@UnhookMainWindow$qqrynpqqrr17Messages@TMessage$o";
constexpr const char* CustomActionClass = "@Actnlist@TCustomAction@";
constexpr const char* ActionExecute = "@Actnlist@TCustomAction@Execute$qqrv";
constexpr const char* ActionUpdate = "@Actnlist@TCustomAction@Update$qqrv";
constexpr const char* ActionSetEnabled = "@Actnlist@TCustomAction@SetEnabled$qqro";
constexpr const char* MenuIsShortCut = "@Menus@TMenu@IsShortCut$qqrr24Messages@TWMKey";
constexpr const char* ShortCutFromMessage = "@Menus@ShortCutFromMessage$qqrr24Messages@TWMKey";
constexpr const char* NewApplicationHandle = "VclApplicationHandle";
}  // namespace Export

// The stand-in's (stdcall).
using ApplicationFn = void*(__stdcall*)();
// The application's window; made first when `create` is set (a display is needed).
using ApplicationHandleFn = HWND(__stdcall*)(int32_t create);
// Main-window hooks now, and WM_ACTIVATEAPP messages the application's own handling saw.
using ApplicationStateFn = void(__stdcall*)(int32_t* hooks, int32_t* activations);
// A form, with a real (visible) window or none.
using NewFormFn = void*(__stdcall*)(int32_t withWindow);
using FormHandleFn = HWND(__stdcall*)(void* form);
// Screen.ActiveForm := form (nil: none); also: freeing a form (its window destroyed).
using ObjectFn = void(__stdcall*)(void* form);
// An enabled action with that shortcut.
using NewActionFn = void*(__stdcall*)(uint32_t shortCut);
// OnExecute and OnUpdate: Code(EAX = Data, EDX = the action), host register convention.
using ActionSetEventsFn = void(__stdcall*)(void* action, void* executeCode, void* executeData, void* updateCode,
                                           void* updateData);
using ActionSetEnabledFn = void(__stdcall*)(void* action, int32_t enabled);
using ActionStateFn = void(__stdcall*)(void* action, int32_t* enabled, int32_t* executions, int32_t* updates);
// The action's Execute through its export (whatever code is there now).
using ActionExecuteFn = int32_t(__stdcall*)(void* action);
using NewMenuFn = void*(__stdcall*)();
// An item (owned by the menu) for the action with that shortcut.
using MenuAddFn = void(__stdcall*)(void* menu, void* action, uint32_t shortCut);
// TMenu.IsShortCut with a WM_KEYDOWN message of that key code and key data.
using MenuIsShortCutFn = int32_t(__stdcall*)(void* menu, uint32_t charCode, int32_t keyData);

struct Driver {
  ApplicationFn Application = nullptr;
  ApplicationHandleFn ApplicationHandle = nullptr;
  ApplicationStateFn ApplicationState = nullptr;
  NewFormFn NewForm = nullptr;
  FormHandleFn FormHandle = nullptr;
  ObjectFn SetActiveForm = nullptr, FreeForm = nullptr;
  NewActionFn NewAction = nullptr;
  ActionSetEventsFn ActionSetEvents = nullptr;
  ActionSetEnabledFn ActionSetEnabled = nullptr;
  ActionStateFn ActionState = nullptr;
  ActionExecuteFn ActionExecute = nullptr;
  NewMenuFn NewMenu = nullptr;
  MenuAddFn MenuAdd = nullptr;
  MenuIsShortCutFn MenuIsShortCut = nullptr;

  bool Bind(HMODULE module) {
    bool ok = true;
    auto bind = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
          reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
      ok = ok && slot;
    };
    bind(Application, "VclApplication");
    bind(ApplicationHandle, "VclApplicationHandle");
    bind(ApplicationState, "VclApplicationState");
    bind(NewForm, "VclNewForm");
    bind(FormHandle, "VclFormHandle");
    bind(SetActiveForm, "VclSetActiveForm");
    bind(FreeForm, "VclFreeForm");
    bind(NewAction, "VclNewAction");
    bind(ActionSetEvents, "VclActionSetEvents");
    bind(ActionSetEnabled, "VclActionSetEnabled");
    bind(ActionState, "VclActionState");
    bind(ActionExecute, "VclActionExecute");
    bind(NewMenu, "VclNewMenu");
    bind(MenuAdd, "VclMenuAdd");
    bind(MenuIsShortCut, "VclMenuIsShortCut");
    return ok;
  }
};

}  // namespace FormsDriver
