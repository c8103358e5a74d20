// Events.TEvent.Add and Remove over the event record of EventsDriver.h.
#include <cstring>
#include <type_traits>

#include "EventsDriver.h"

namespace {

namespace L = EventsDriver::EventLayout;
using EventsDriver::THandler;

int32_t& Count(void* event) { return *reinterpret_cast<int32_t*>(static_cast<char*>(event) + L::Count); }
THandler* Handlers(void* event) { return reinterpret_cast<THandler*>(static_cast<char*>(event) + L::Handlers); }

int32_t IndexOf(void* event, void* code, void* data) {
  for (int32_t i = 0; i < Count(event); ++i)
    if (Handlers(event)[i].Code == code && Handlers(event)[i].Data == data) return i;
  return -1;
}

}  // namespace

extern "C" {

void QM_HOST_REGISTER DesignIdeEventAdd(void* event, int32_t, int32_t, void* code, void* data)
    QM_HOST_SYMBOL(designide_TEvent_Add);
void QM_HOST_REGISTER DesignIdeEventRemove(void* event, int32_t, int32_t, void* code, void* data)
    QM_HOST_SYMBOL(designide_TEvent_Remove);

void QM_HOST_REGISTER DesignIdeEventAdd(void* event, int32_t, int32_t, void* code, void* data) {
  if (!event || IndexOf(event, code, data) >= 0 || Count(event) >= L::Capacity) return;
  Handlers(event)[Count(event)++] = {code, data};
}

void QM_HOST_REGISTER DesignIdeEventRemove(void* event, int32_t, int32_t, void* code, void* data) {
  const int32_t i = event ? IndexOf(event, code, data) : -1;
  if (i < 0) return;
  std::memmove(&Handlers(event)[i], &Handlers(event)[i + 1], size_t(Count(event) - i - 1) * sizeof(THandler));
  --Count(event);
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&DesignIdeEventAdd), EventsDriver::AddFn> &&
                  std::is_same_v<decltype(&DesignIdeEventRemove), EventsDriver::AddFn>,
              "exports differ from EventsDriver.h");
