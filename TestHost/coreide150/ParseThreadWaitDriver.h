// The parser thread's wait for work (coreide150.bpl, ParseThreadWait.cpp and
// ParseThreadWaitCode.S), declared once for the tests, the benchmark and
// bds.exe: the constructor's export, the instance layout and the driver.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "Common/HostLayout.h"

namespace ParseThreadWaitDriver {

namespace Export {
// constructor TParseThread.Create: EAX class, DL alloc → the thread object.
constexpr const char* Create = "@Parserthread@TParseThread@$bctr$qqrv";
constexpr const char* New = "ParseWaitNew";
constexpr const char* Free = "ParseWaitFree";
constexpr const char* Signal = "ParseWaitSignal";
constexpr const char* Wait = "ParseWaitCall";
constexpr const char* WaitWithMessages = "ParseWaitWithMessages";
}  // namespace Export

namespace Layout {
constexpr int Event = 0x18;  // the event the thread waits on (its WaitFor is virtual slot 2)
constexpr int Size = 0x20;
}  // namespace Layout

// The stand-in's (stdcall).
using NewFn = void*(__stdcall*)();       // a thread object made through the constructor
using ObjectFn = void(__stdcall*)(void* thread);
// The wait routine (whatever code is at it now) from the calling thread:
// its result (1 signalled, 0 not) and how often the event's WaitFor ran.
using WaitFn = int32_t(__stdcall*)(void* thread, int32_t timeoutMs, int32_t* waits);
// The same while another thread posts a message to the calling thread every
// `intervalMs` for `forMs` (then stops): also the wait's length in ms.
using WaitWithMessagesFn = int32_t(__stdcall*)(void* thread, int32_t timeoutMs, int32_t intervalMs, int32_t forMs,
                                               int32_t* waits, double* elapsedMs);

struct Driver {
  NewFn New = nullptr;
  ObjectFn Free = nullptr, Signal = nullptr;
  WaitFn Wait = nullptr;
  WaitWithMessagesFn WaitWithMessages = nullptr;

  bool Bind(HMODULE coreIde) {
    bool ok = true;
    auto bind = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
          reinterpret_cast<void*>(coreIde ? GetProcAddress(coreIde, name) : nullptr));
      ok = ok && slot;
    };
    bind(New, Export::New);
    bind(Free, Export::Free);
    bind(Signal, Export::Signal);
    bind(Wait, Export::Wait);
    bind(WaitWithMessages, Export::WaitWithMessages);
    return ok;
  }
};

}  // namespace ParseThreadWaitDriver
