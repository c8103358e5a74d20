// The stand-in IDE's main form class (coreide150.bpl here: the IDE has it
// in bds.exe; tests load packages, not programs), declared once for the
// stand-in, bds.exe, the tests and the benchmarks.
//
// `@Appmain@TAppBuilder@` over vcl150's TCustomForm (0x48 bytes): +0x40
// WindowState (a byte: 0 normal, 1 minimised, 2 maximised), +0x44 how
// often it was restored. Its own dynamic method 26 (WM_SETTINGCHANGE)
// restores a minimised window and then calls TCustomForm's (**the fault**:
// any program changing a system setting brings the minimised IDE back).
#pragma once

#include <windows.h>

#include <type_traits>

namespace MainFormDriver {

namespace Export {
constexpr const char* MainFormClass = "@Appmain@TAppBuilder@";
// Driver (stdcall).
constexpr const char* New = "CoreNewMainForm";
constexpr const char* State = "CoreMainFormState";
}  // namespace Export

namespace MainFormLayout {
constexpr int WindowState = 0x40, Restores = 0x44, Size = 0x48;
}

// A main form (its window minimised or not), made the application's main form (null without vcl150).
using NewFn = void*(__stdcall*)(int minimized);
// Its window state and how often it was restored.
using StateFn = void(__stdcall*)(void* form, int* windowState, int* restores);

struct Driver {
  NewFn New = nullptr;
  StateFn State = nullptr;

  bool Bind(HMODULE module) {
    auto bind = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
          reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
      return slot != nullptr;
    };
    bool ok = bind(New, Export::New);
    return bind(State, Export::State) && ok;
  }
};

}  // namespace MainFormDriver
