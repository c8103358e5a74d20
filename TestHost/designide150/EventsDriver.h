// The IDE's multicast events (designide150.bpl, unit Events: Events.cpp),
// declared once for the packages that own events, the tests and bds.exe.
// An event object is a record of the test host's layout: a count and up to
// 16 handlers, each a method pointer {Code, Data}.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"

namespace EventsDriver {

namespace Export {
// procedure TEvent.Add(Handler: TNotifyEvent) / Remove: EAX = the event,
// the method pointer on the stack (Code at the lower address; the callee
// pops 8 bytes). Adding a handler twice keeps one; removing an absent one
// does nothing.
constexpr const char* Add = "@Events@TEvent@Add$qqrynpqqrp14System@TObject$v";
constexpr const char* Remove = "@Events@TEvent@Remove$qqrynpqqrp14System@TObject$v";
}  // namespace Export

namespace EventLayout {
constexpr int Count = 0, Handlers = 4, Capacity = 16, Size = 4 + 8 * 16;
}

struct THandler {
  void* Code;
  void* Data;
};

// EDX and ECX carry nothing.
using AddFn = void(QM_HOST_REGISTER*)(void* event, int32_t unusedEdx, int32_t unusedEcx, void* code, void* data);
// A handler: Code(EAX = Data, EDX = Sender).
using HandlerFn = void(QM_HOST_REGISTER*)(void* data, void* sender);

// Calls each handler of the event once, those present when firing began
// (a handler may remove itself).
inline void Fire(void* event, void* sender) {
  auto* bytes = static_cast<char*>(event);
  const int32_t count = *reinterpret_cast<int32_t*>(bytes + EventLayout::Count);
  THandler copy[EventLayout::Capacity];
  for (int32_t i = 0; i < count && i < EventLayout::Capacity; ++i)
    copy[i] = reinterpret_cast<THandler*>(bytes + EventLayout::Handlers)[i];
  for (int32_t i = 0; i < count && i < EventLayout::Capacity; ++i)
    reinterpret_cast<HandlerFn>(copy[i].Code)(copy[i].Data, sender);
}

}  // namespace EventsDriver
