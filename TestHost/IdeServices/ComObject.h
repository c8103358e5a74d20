// COM-style objects of the stand-in IDE: a method table whose first three
// methods are IUnknown's (stdcall), the IDE's own methods after them in the
// host's register convention (interface pointer in EAX), as the IDE's tool
// service interfaces are declared. Reference counted; an object with a
// destroy function is freed when its count reaches zero.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "Common/HostLayout.h"

namespace QmHost {

struct ComObject {
  const void* const* methods;
  LONG refCount;
  const GUID* iids;            // interfaces it answers besides IUnknown
  int iidCount;
  const wchar_t* name;         // for the journal
  void (*destroy)(ComObject*); // at reference count 0; null: lives as long as the process
};

HRESULT __stdcall ComQueryInterface(ComObject* self, const GUID* iid, void** out);
ULONG __stdcall ComAddRef(ComObject* self);
ULONG __stdcall ComRelease(ComObject* self);

// A method table of `slots` entries: IUnknown's three, then the slots set
// with Set; a slot left alone journals "SERVICE-UNSUPPORTED <name> <slot>"
// when called and returns 0 (safe for up to three register arguments).
class MethodTable {
public:
  explicit MethodTable(int slots);
  MethodTable& Set(int slot, const void* method);
  const void* const* Get() const { return FSlots.data(); }
  int Count() const { return int(FSlots.size()); }

private:
  std::vector<const void*> FSlots;
};

// Where the services' journal lines go (bds.exe: its journal; tests: a list).
void SetServicesJournal(void (*journal)(const std::wstring& line));
void ServicesJournal(const std::wstring& line);

// Interfaces handed over by experts (notifiers): method `slot` of the object.
template <class Fn>
Fn InterfaceMethod(void* object, int slot) {
  return reinterpret_cast<Fn>(const_cast<void*>((*static_cast<const void* const* const*>(object))[slot]));
}
ULONG AddRefInterface(void* object);
ULONG ReleaseInterface(void* object);

std::wstring GuidString(const GUID& guid);

} // namespace QmHost
