// The stand-in application's message pump (vcl150.bpl, unit Forms),
// declared once for the stand-ins, the tests and the benchmarks.
//
// `@Forms@TApplication@ProcessMessages$qqrv` (EAX = Application) takes the
// calling thread's pending messages and dispatches them; a thread message
// registered as "QmStandInInvoke" runs the procedure in its wParam with the
// argument in its lParam (a queued click's handler, without a window).
// Every call is counted (VclPumps).
#pragma once

#include <windows.h>

#include <type_traits>

namespace MessagePumpDriver {

constexpr const wchar_t* InvokeMessageName = L"QmStandInInvoke";

namespace Export {
constexpr const char* ProcessMessages = "@Forms@TApplication@ProcessMessages$qqrv";
// Driver (stdcall).
constexpr const char* Pumps = "VclPumps";
constexpr const char* PostInvoke = "VclPostInvoke";
constexpr const char* DropInvokes = "VclDropInvokes";
}  // namespace Export

using InvokedFn = void(__stdcall*)(void* argument);
using PumpsFn = int(__stdcall*)();
// Queues the procedure for the calling thread's next pump → 1, or 0.
using PostInvokeFn = int(__stdcall*)(InvokedFn procedure, void* argument);
// Drops what is still queued → how many.
using DropInvokesFn = int(__stdcall*)();

struct Driver {
  PumpsFn Pumps = nullptr;
  PostInvokeFn PostInvoke = nullptr;
  DropInvokesFn DropInvokes = nullptr;

  bool Bind(HMODULE module) {
    auto bind = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
          reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
      return slot != nullptr;
    };
    bool ok = bind(Pumps, Export::Pumps);
    ok = bind(PostInvoke, Export::PostInvoke) && ok;
    return bind(DropInvokes, Export::DropInvokes) && ok;
  }
};

}  // namespace MessagePumpDriver
