// The stand-in Pascal module handler's view switch (delphicoreide150.bpl,
// unit Delphimodule), declared once for the stand-in, bds.exe, the tests
// and the benchmarks.
//
// A handler (our layout, 0x30 bytes): +0x00 its method table (slot 0x108:
// SwitchView), +0x10 the view (an object whose method slot 0x1C is
// Refresh), +0x14 a byte: the module shows its form, +0x18 its file name
// (8-bit), +0x1C a byte: the file was removed from the project, +0x20 its
// items, +0x24 their count. Module handlers register their file while they
// live (the file registry below).
//
// SwapSourceFormView (EAX = handler) runs a nested routine (the enclosing
// frame on the stack, the caller pops) lying just before it:
// - the file kept: the registration brought up to date by the routine at
//   +4 of the searched bytes (it takes the frame; a removed file's
//   registration is dropped, a kept one's made), then unless the module
//   shows its form the view refreshed and every item notified, then the
//   view switched;
// - the file removed: the handler freed by the call at +95 and the
//   enclosing routine's reference cleared — without bringing the
//   registration up to date first (**the fault**: the removed file stays
//   registered after its handler is freed).
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "Common/HostLayout.h"

namespace DelphiModuleDriver {

namespace Export {
constexpr const char* SwapSourceFormView = "@Delphimodule@TPascalCodeMgrModHandler@SwapSourceFormView$qqrv";
// Driver (stdcall).
constexpr const char* NewHandler = "DelphiModuleNewHandler";
constexpr const char* MarkRemoved = "DelphiModuleMarkRemoved";
constexpr const char* Registered = "DelphiModuleRegistered";
constexpr const char* Freed = "DelphiModuleFreed";
constexpr const char* Counts = "DelphiModuleCounts";
constexpr const char* FreeHandler = "DelphiModuleFreeHandler";
}  // namespace Export

using SwapFn = void(QM_HOST_REGISTER*)(void* handler);
// A handler of `file` with `items` items (registered at once).
using NewHandlerFn = void*(__stdcall*)(const char* file, int showsForm, int items);
using MarkRemovedFn = void(__stdcall*)(void* handler);
// 1 while `file` is registered, else 0.
using RegisteredFn = int(__stdcall*)(const char* file);
// 1 when this handler was freed since it was made.
using FreedFn = int(__stdcall*)(const void* handler);
// Views refreshed, items notified, views switched so far.
using CountsFn = void(__stdcall*)(int* refreshes, int* notified, int* switches);
// Frees a handler the caller still holds (unregistering its file).
using FreeHandlerFn = void(__stdcall*)(void* handler);

struct Driver {
  SwapFn Swap = nullptr;
  NewHandlerFn NewHandler = nullptr;
  MarkRemovedFn MarkRemoved = nullptr;
  RegisteredFn Registered = nullptr;
  FreedFn Freed = nullptr;
  CountsFn Counts = nullptr;
  FreeHandlerFn FreeHandler = nullptr;

  bool Bind(HMODULE module) {
    auto bind = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
          reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
      return slot != nullptr;
    };
    bool ok = bind(Swap, Export::SwapSourceFormView);
    ok = bind(NewHandler, Export::NewHandler) && ok;
    ok = bind(MarkRemoved, Export::MarkRemoved) && ok;
    ok = bind(Registered, Export::Registered) && ok;
    ok = bind(Freed, Export::Freed) && ok;
    ok = bind(Counts, Export::Counts) && ok;
    return bind(FreeHandler, Export::FreeHandler) && ok;
  }
};

}  // namespace DelphiModuleDriver
