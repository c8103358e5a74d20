#include "IdeServices/ComObject.h"

#include <array>
#include <cstdio>
#include <utility>

namespace QmHost {

namespace {

const GUID IUnknownId = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr int MaxSlots = 64;

void (*g_journal)(const std::wstring&) = nullptr;

template <int Slot>
int QM_HOST_REGISTER Unsupported(ComObject* self) {
  ServicesJournal(L"SERVICE-UNSUPPORTED " + std::wstring(self->name) + L" " + std::to_wstring(Slot));
  return 0;
}

template <int... Slots>
constexpr std::array<const void*, sizeof...(Slots)> UnsupportedTable(std::integer_sequence<int, Slots...>) {
  return {reinterpret_cast<const void*>(&Unsupported<Slots>)...};
}

const std::array<const void*, MaxSlots>& UnsupportedSlots() {
  static const auto table = UnsupportedTable(std::make_integer_sequence<int, MaxSlots>());
  return table;
}

} // namespace

HRESULT __stdcall ComQueryInterface(ComObject* self, const GUID* iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!iid) return E_POINTER;
  bool known = IsEqualGUID(*iid, IUnknownId);
  for (int i = 0; i < self->iidCount && !known; ++i) known = IsEqualGUID(*iid, self->iids[i]);
  if (!known) return E_NOINTERFACE;
  ComAddRef(self);
  *out = self;
  return S_OK;
}

ULONG __stdcall ComAddRef(ComObject* self) { return ULONG(InterlockedIncrement(&self->refCount)); }

ULONG __stdcall ComRelease(ComObject* self) {
  LONG count = InterlockedDecrement(&self->refCount);
  if (count == 0 && self->destroy) self->destroy(self);
  return ULONG(count);
}

MethodTable::MethodTable(int slots) {
  for (int i = 0; i < slots && i < MaxSlots; ++i) FSlots.push_back(UnsupportedSlots()[size_t(i)]);
  FSlots[0] = reinterpret_cast<const void*>(&ComQueryInterface);
  FSlots[1] = reinterpret_cast<const void*>(&ComAddRef);
  FSlots[2] = reinterpret_cast<const void*>(&ComRelease);
}

MethodTable& MethodTable::Set(int slot, const void* method) {
  FSlots.at(size_t(slot)) = method;
  return *this;
}

void SetServicesJournal(void (*journal)(const std::wstring& line)) { g_journal = journal; }

void ServicesJournal(const std::wstring& line) {
  if (g_journal) g_journal(line);
}

ULONG AddRefInterface(void* object) {
  return InterfaceMethod<ULONG(__stdcall*)(void*)>(object, 1)(object);
}

ULONG ReleaseInterface(void* object) {
  return InterfaceMethod<ULONG(__stdcall*)(void*)>(object, 2)(object);
}

std::wstring GuidString(const GUID& g) {
  wchar_t buffer[40];
  swprintf(buffer, 40, L"{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
           g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return buffer;
}

} // namespace QmHost
