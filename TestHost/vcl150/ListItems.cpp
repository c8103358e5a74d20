// The list view items' streaming (ListItemsDriver.h): items, their updates,
// the rest of ReadItemData and the writer's side.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <type_traits>

#include "Common/HostLayout.h"
#include "ListItemsDriver.h"

using namespace ListItemsDriver;

namespace {

namespace ItemsLayout {
constexpr int Count = 0x04, Indexes = 0x08, Updating = 0x0C, Size = 0x20;
}

template <class T>
T& At(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

using BufferFn = void(QM_HOST_REGISTER*)(void* stream, void* buffer, std::int32_t count);

BufferFn RtlBuffer(const char* name) {
  return reinterpret_cast<BufferFn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"rtl150.bpl"), name)));
}

} // namespace

extern "C" {

// TStream.ReadBuffer of rtl150.bpl (the searched code reaches it through its thunk).
void* vcl_RtlReadBuffer QM_HOST_SYMBOL(vcl_RtlReadBuffer) = nullptr;

void QM_HOST_REGISTER vcl_ListItemsBeginUpdate(void* items) QM_HOST_SYMBOL(vcl_ListItemsBeginUpdate);
void QM_HOST_REGISTER vcl_ListItemsBeginUpdate(void* items) {
  if (!vcl_RtlReadBuffer) vcl_RtlReadBuffer = reinterpret_cast<void*>(RtlBuffer("@Classes@TStream@ReadBuffer$qqrpvi"));
  ++At<std::int32_t>(items, ItemsLayout::Updating);
}

void QM_HOST_REGISTER vcl_ListItemsEndUpdate(void* items) QM_HOST_SYMBOL(vcl_ListItemsEndUpdate);
void QM_HOST_REGISTER vcl_ListItemsEndUpdate(void* items) { --At<std::int32_t>(items, ItemsLayout::Updating); }

// EAX = items, EDX = stream, ECX = N: the items replaced by N read from the stream.
void QM_HOST_REGISTER vcl_ListItemsReadItems(void* items, void* stream, std::uint32_t count)
    QM_HOST_SYMBOL(vcl_ListItemsReadItems);
void QM_HOST_REGISTER vcl_ListItemsReadItems(void* items, void* stream, std::uint32_t count) {
  std::int32_t*& indexes = At<std::int32_t*>(items, ItemsLayout::Indexes);
  std::free(indexes);
  indexes = static_cast<std::int32_t*>(std::calloc(count + 1, sizeof(std::int32_t)));
  At<std::int32_t>(items, ItemsLayout::Count) = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    reinterpret_cast<BufferFn>(vcl_RtlReadBuffer)(stream, &indexes[i], 4);
    ++At<std::int32_t>(items, ItemsLayout::Count);
  }
}

// EAX = items, EDX = stream: N and the indexes written.
void QM_HOST_REGISTER vcl_ListItemsWriteItemData(void* items, void* stream) QM_HOST_SYMBOL(vcl_ListItemsWriteItemData);
void QM_HOST_REGISTER vcl_ListItemsWriteItemData(void* items, void* stream) {
  BufferFn write = RtlBuffer("@Classes@TStream@WriteBuffer$qqrpxvi");
  std::uint8_t count = std::uint8_t(At<std::int32_t>(items, ItemsLayout::Count));
  write(stream, &count, 1);
  for (std::uint8_t i = 0; i < count; ++i) write(stream, &At<std::int32_t*>(items, ItemsLayout::Indexes)[i], 4);
}

void* __stdcall VclNewListItems() { return std::calloc(1, ItemsLayout::Size); }

void __stdcall VclFreeListItems(void* items) {
  if (!items) return;
  std::free(At<std::int32_t*>(items, ItemsLayout::Indexes));
  std::free(items);
}

void __stdcall VclListItemsState(const void* items, int* count, int* updating, int* sum) {
  void* self = const_cast<void*>(items);
  if (count) *count = At<std::int32_t>(self, ItemsLayout::Count);
  if (updating) *updating = At<std::int32_t>(self, ItemsLayout::Updating);
  if (sum) {
    *sum = 0;
    for (int i = 0; i < At<std::int32_t>(self, ItemsLayout::Count); ++i)
      *sum += At<std::int32_t*>(self, ItemsLayout::Indexes)[i];
  }
}

} // extern "C"

static_assert(std::is_same_v<decltype(&VclNewListItems), NewFn>, "New");
static_assert(std::is_same_v<decltype(&VclFreeListItems), FreeFn>, "Free");
static_assert(std::is_same_v<decltype(&VclListItemsState), StateFn>, "State");
