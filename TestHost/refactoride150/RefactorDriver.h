// refactoride150.bpl's exports and driver (RefactorCommands.cpp), declared
// once for bds.exe, the tests and the benchmarks.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "Common/HostLayout.h"

namespace RefactorDriver {

namespace Export {
constexpr const char* MenuItemUpdate = "@Refactorcmds@TDelphiRefactorMenuItem@Update$qqrp14System@TObject";
constexpr const char* ImportNamespaceExecute = "@Refactorcmds@TRefactorCommands@actnImportNamespaceExecute$qqrp14System@TObject";
constexpr const char* BackgroundCompiling = "@Refactorcmds@BackgroundCompiling";
}  // namespace Export

// TDelphiRefactorMenuItem.Update (EAX = the item, EDX = Sender): an OnUpdate event's code.
using MenuItemUpdateFn = void(QM_HOST_REGISTER*)(void* item, void* sender);
// The stand-in's (stdcall): a menu item of the refactoring commands (the
// OnUpdate event's data).
using NewMenuItemFn = void*(__stdcall*)();
// The background compile's state, and whether the refactoring can run here.
using SetStateFn = void(__stdcall*)(int32_t backgroundCompiling, int32_t available);
// The update routine called with force = True (as the refactor menu's own refresh does).
using ForceUpdateFn = void(__stdcall*)(void* action);
// actnImportNamespaceExecute through its code (whatever is there now).
using ImportNamespaceFn = void(__stdcall*)();
// Runs of the update routine and of actnImportNamespaceExecute, and how many
// of each ran inside a kibitzing-monitor section of kind 2.
using CountsFn = void(__stdcall*)(int32_t* updateRuns, int32_t* updatesInMonitor, int32_t* importRuns,
                                  int32_t* importsInMonitor);

struct Driver {
  MenuItemUpdateFn MenuItemUpdate = nullptr;
  NewMenuItemFn NewMenuItem = nullptr;
  SetStateFn SetState = nullptr;
  ForceUpdateFn ForceUpdate = nullptr;
  ImportNamespaceFn ImportNamespace = nullptr;
  CountsFn Counts = nullptr;

  bool Bind(HMODULE module) {
    bool ok = true;
    auto bind = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
          reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
      ok = ok && slot;
    };
    bind(MenuItemUpdate, Export::MenuItemUpdate);
    bind(NewMenuItem, "RefactorNewMenuItem");
    bind(SetState, "RefactorSetState");
    bind(ForceUpdate, "RefactorForceUpdate");
    bind(ImportNamespace, "RefactorImportNamespace");
    bind(Counts, "RefactorCounts");
    return ok;
  }
};

}  // namespace RefactorDriver
