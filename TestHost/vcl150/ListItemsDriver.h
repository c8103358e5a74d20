// The stand-in list view items' streaming (vcl150.bpl, unit ComCtrls),
// declared once for the stand-in, bds.exe, the tests and the benchmarks.
//
// Items (our layout, 0x20 bytes): +0x04 count, +0x08 the items' image
// indexes (32 bits each), +0x0C update count. A filer (our layout): +0x04
// its stream, +0x08 a byte, 1 for a reader. Item data in a stream: one byte
// N, then N image indexes of 32 bits.
// DefineProperties (EAX = items, EDX = filer): a reader's items read from
// its stream by ReadItemData, which lies after it: inside an update and a
// try block, N read by the run-time's ReadBuffer (the call at +24 of the
// searched bytes: short data raises EReadError, **the fault**), then N
// indexes; a writer's items written. The update ends also when a read
// raises.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "Common/HostLayout.h"

namespace ListItemsDriver {

namespace Export {
constexpr const char* DefineProperties = "@Comctrls@TListItems@DefineProperties$qqrp14Classes@TFiler";
// Driver (stdcall).
constexpr const char* New = "VclNewListItems";
constexpr const char* Free = "VclFreeListItems";
constexpr const char* State = "VclListItemsState";
}  // namespace Export

struct TFiler {
  void* ClassRef;
  void* Stream;
  std::uint8_t Reading;
};

using DefinePropertiesFn = void(QM_HOST_REGISTER*)(void* items, TFiler* filer);
using NewFn = void*(__stdcall*)();
using FreeFn = void(__stdcall*)(void* items);
// Count, update count and the sum of the image indexes.
using StateFn = void(__stdcall*)(const void* items, int* count, int* updating, int* sum);

struct Driver {
  DefinePropertiesFn DefineProperties = nullptr;
  NewFn New = nullptr;
  FreeFn Free = nullptr;
  StateFn State = nullptr;

  bool Bind(HMODULE module) {
    auto bind = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
          reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
      return slot != nullptr;
    };
    bool ok = bind(DefineProperties, Export::DefineProperties);
    ok = bind(New, Export::New) && ok;
    ok = bind(Free, Export::Free) && ok;
    return bind(State, Export::State) && ok;
  }
};

}  // namespace ListItemsDriver
