// TStringList the plain way: an array of strings that tells its OnChange
// method pointer after every Add and Clear, with the host's virtual Get and
// GetCount (slots in StringListDriver.h).
#include <windows.h>

#include <cstring>
#include <type_traits>

#include "Common/HostClass.h"
#include "RtlInternal.h"
#include "StringListDriver.h"

using namespace QmHost;
using namespace StringListDriver;

QM_HOST_CLASS(rtl_TStringList_Class, 8);

extern "C" {
extern char rtl_TStringList_Class[] QM_HOST_SYMBOL(rtl_TStringList_Class);
}

namespace {

template <class T>
T& Field(void* self, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(self) + offset);
}

void Changed(void* self) {
  if (auto code = Field<NotifyFn>(self, Layout::OnChangeCode)) code(Field<void*>(self, Layout::OnChangeData), self);
}

}  // namespace

extern "C" {

int32_t QM_HOST_REGISTER RtlStringListGetCount(void* self) { return Field<int32_t>(self, Layout::Count); }

void QM_HOST_REGISTER RtlStringListGet(void* self, int32_t index, wchar_t** result) QM_HOST_SYMBOL(rtl_TStringList_Get);
void QM_HOST_REGISTER RtlStringListGet(void* self, int32_t index, wchar_t** result) {
  if (index < 0 || index >= Field<int32_t>(self, Layout::Count)) RtlRaiseNew(rtl_Exception_Class, L"List index out of bounds");
  RtlUStrAsg(result, Field<wchar_t**>(self, Layout::Lines)[index]);
}

int32_t QM_HOST_REGISTER RtlStringListAdd(void* self, const wchar_t* text) QM_HOST_SYMBOL(rtl_TStringList_Add);
int32_t QM_HOST_REGISTER RtlStringListAdd(void* self, const wchar_t* text) {
  int32_t& count = Field<int32_t>(self, Layout::Count);
  int32_t& capacity = Field<int32_t>(self, Layout::Capacity);
  wchar_t**& lines = Field<wchar_t**>(self, Layout::Lines);
  if (count == capacity) {
    const int32_t grown = capacity < 16 ? 16 : capacity * 2;
    auto** bigger = static_cast<wchar_t**>(RtlGetMem(int(sizeof(wchar_t*)) * grown));
    std::memset(bigger, 0, sizeof(wchar_t*) * size_t(grown));
    if (lines) std::memcpy(bigger, lines, sizeof(wchar_t*) * size_t(count));
    RtlFreeMem(lines);
    lines = bigger;
    capacity = grown;
  }
  RtlUStrAsg(&lines[count], text);
  const int32_t index = count++;
  Changed(self);
  return index;
}

void QM_HOST_REGISTER RtlStringListClear(void* self) QM_HOST_SYMBOL(rtl_TStringList_Clear);
void QM_HOST_REGISTER RtlStringListClear(void* self) {
  int32_t& count = Field<int32_t>(self, Layout::Count);
  wchar_t** lines = Field<wchar_t**>(self, Layout::Lines);
  for (int32_t i = 0; i < count; ++i) RtlUStrClr(&lines[i]);
  count = 0;
  Changed(self);
}

void QM_HOST_REGISTER RtlStringListDestroy(void* self, int outermost) {
  int32_t& count = Field<int32_t>(self, Layout::Count);
  wchar_t** lines = Field<wchar_t**>(self, Layout::Lines);
  for (int32_t i = 0; i < count; ++i) RtlUStrClr(&lines[i]);
  count = 0;
  RtlFreeMem(lines);
  Field<wchar_t**>(self, Layout::Lines) = nullptr;
  RtlObjectDestroy(self, outermost);
}

void* QM_HOST_REGISTER RtlStringListCreate(void* classOrSelf, int alloc) QM_HOST_SYMBOL(rtl_TStringList_Create);
void* QM_HOST_REGISTER RtlStringListCreate(void* classOrSelf, int alloc) {
  using NewInstanceFn = void*(QM_HOST_REGISTER*)(void* classRef);
  void* self = classOrSelf;
  if (alloc & 0xFF) self = reinterpret_cast<NewInstanceFn>(VmtSlot(classOrSelf, kVmtNewInstance))(classOrSelf);
  return self;
}

}  // extern "C"

namespace {

const bool kStringListBuilt = [] {
  RtlStringsClassBuilt();
  static void* const strings = rtl_TStrings_Class;
  HostClassBuilder(rtl_TStringList_Class_Storage, "TStringList")
      .Parent(&strings)
      .InstanceSize(Layout::InstanceSize)
      .Virtual(0, reinterpret_cast<const void*>(&RtlStringListGet))
      .Virtual(1, reinterpret_cast<const void*>(&RtlStringListGetCount))
      .Virtual(2, reinterpret_cast<const void*>(&RtlStringListGetCount))
      .Virtual(3, reinterpret_cast<const void*>(&RtlStringListGet))
      .Virtual(4, reinterpret_cast<const void*>(&RtlStringListGet))
      .Virtual(GetCountSlot, reinterpret_cast<const void*>(&RtlStringListGetCount))
      .Virtual(6, reinterpret_cast<const void*>(&RtlStringListAdd))
      .Virtual(7, reinterpret_cast<const void*>(&RtlStringListClear))
      .Root(kVmtDestroy, reinterpret_cast<const void*>(&RtlStringListDestroy))
      .Build();
  return true;
}();

}  // namespace

static_assert(std::is_same_v<decltype(&RtlStringListCreate), CreateFn> && std::is_same_v<decltype(&RtlStringListAdd), AddFn> &&
                  std::is_same_v<decltype(&RtlStringListClear), ClearFn> && std::is_same_v<decltype(&RtlStringListGet), GetFn> &&
                  std::is_same_v<decltype(&RtlStringListGetCount), GetCountFn>,
              "TStringList's methods have the driver's types");
