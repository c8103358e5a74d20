// The stand-in's modal forms (vcl150.bpl, unit Forms), declared once for
// the stand-ins, the tests and the benchmarks.
//
// `@Forms@TCustomForm@ShowModal$qqrv` (EAX = form → EAX) runs no message
// loop: the form is made visible, the probe set with VclSetModalProbe sees
// it, it is hidden again, and the result set with the probe is returned
// (2, mrCancel, until one is set).
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>

namespace ModalDriver {

namespace Export {
constexpr const char* ShowModal = "@Forms@TCustomForm@ShowModal$qqrv";
// Driver (stdcall).
constexpr const char* SetProbe = "VclSetModalProbe";
constexpr const char* Shows = "VclModalShows";
}  // namespace Export

using ProbeFn = void(__stdcall*)(void* form);
using SetProbeFn = void(__stdcall*)(ProbeFn probe, int result);
using ShowsFn = int(__stdcall*)();

struct Driver {
  SetProbeFn SetProbe = nullptr;
  ShowsFn Shows = nullptr;

  bool Bind(HMODULE module) {
    auto bind = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
          reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
      return slot != nullptr;
    };
    bool ok = bind(SetProbe, Export::SetProbe);
    return bind(Shows, Export::Shows) && ok;
  }
};

}  // namespace ModalDriver
