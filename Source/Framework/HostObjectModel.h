// The host's object model as patches meet it: interface references and
// their method tables, class records, the run-time's lists (TList,
// TThreadList, TInterfaceList), resource strings, and host-layout objects of
// our own that the host may free.
//
// Layouts the host's public documentation does not give are the ones its
// run-time has had for years; the test host checks each of them.
#pragma once

#include <cstdint>
#include <string>
#include <windows.h>

#include "Framework/HostAbi.h"
#include "Hooking/MethodTables.h"

namespace Quillmend {

// ---- interfaces --------------------------------------------------------------------
// A host interface reference points at a slot of an object that holds the
// interface's method table. Entries 0..2 are IUnknown's (stdcall); the IDE's
// own interfaces go on in the register convention (the reference in EAX).

inline const void* const* HostIntfMethods(const void* intf) { return *static_cast<const void* const* const*>(intf); }
template <class Fn>
Fn HostIntfMethod(const void* intf, int index) {
  return reinterpret_cast<Fn>(const_cast<void*>(HostIntfMethods(intf)[index]));
}
// QueryInterface through the reference's method table; *out is null unless S_OK.
HRESULT HostIntfQuery(void* intf, const GUID& iid, void** out);
void HostIntfAddRef(void* intf);   // nil is fine
void HostIntfRelease(void* intf);  // nil is fine
// *variable := value the host's way (the new reference counted first, the
// old one released last), as an interface result variable is assigned.
void HostIntfAssign(void** variable, void* value);

// An interface reference released when this object goes. Only for frames no
// host exception unwinds (SEH skips destructors): elsewhere release inside a
// HostTryFinally cleanup.
class THostIntfRef {
public:
  THostIntfRef() = default;
  ~THostIntfRef() { Reset(); }
  THostIntfRef(const THostIntfRef&) = delete;
  THostIntfRef& operator=(const THostIntfRef&) = delete;
  void** Ref() { Reset(); return &FIntf; }  // the variable a result is assigned to
  void* Get() const { return FIntf; }
  void Reset() { void* old = FIntf; FIntf = nullptr; HostIntfRelease(old); }
  explicit operator bool() const { return FIntf != nullptr; }

private:
  void* FIntf = nullptr;
};

// A host string the host handed back through a result variable, released
// when this object goes (same caution as THostIntfRef).
class THostStringVar {
public:
  THostStringVar() = default;
  ~THostStringVar();
  THostStringVar(const THostStringVar&) = delete;
  THostStringVar& operator=(const THostStringVar&) = delete;
  wchar_t** Ref() { return &FChars; }
  const wchar_t* Get() const { return FChars; }
  void Release();

private:
  wchar_t* FChars = nullptr;
};

// *variable := a new host string holding text (nil for ""), the old value
// released. Without a host run-time nothing is stored and false is answered.
bool AssignHostString(wchar_t** variable, const std::wstring& text);

// The run-time's object-cast identifier: QueryInterface with it answers the
// implementing object itself (no reference counted).
constexpr GUID HostObjCastGuid = {0xCEDF24DE, 0x80A4, 0x447D, {0x8C, 0x75, 0xEB, 0x87, 0x1D, 0xC1, 0x21, 0xFD}};

// ---- class records -----------------------------------------------------------------

inline void* HostClassOf(const void* object) { return *static_cast<void* const*>(object); }
inline void* HostClassSlot(const void* classRef, int offset) {
  return *reinterpret_cast<void* const*>(static_cast<const char*>(classRef) + offset);
}
// The parent class, or null for the root.
void* HostClassParent(const void* classRef);
int32_t HostInstanceSize(const void* classRef);
// True when classRef is ancestor or derives from it.
bool HostClassInherits(const void* classRef, const void* ancestor);
// Frees a host object through its virtual destructor (TObject.Free); nil is fine.
void HostObjectFree(void* object);
// A new object of a class whose constructor is TObject's (it does nothing):
// the class's NewInstance, then its AfterConstruction, as the host's
// constructor call does.
void* HostNewObject(const void* classRef);

// ---- lists of the run-time -----------------------------------------------------------
// TList: class, item array, count, capacity; virtual methods Grow, Notify, Clear.
namespace HostListLayout {
constexpr int Items = 4;
constexpr int Count = 8;
constexpr int Capacity = 12;
constexpr int InstanceSize = 16;
constexpr int NotifySlot = 1;  // procedure Notify(Ptr: Pointer; Action: TListNotification)
constexpr int ClearSlot = 2;   // procedure Clear
}  // namespace HostListLayout
enum THostListNotification : uint8_t { lnAdded = 0, lnExtracted = 1, lnDeleted = 2 };

inline void** HostListItems(const void* list) {
  return *reinterpret_cast<void** const*>(static_cast<const char*>(list) + HostListLayout::Items);
}
inline int32_t HostListCount(const void* list) {
  return *reinterpret_cast<const int32_t*>(static_cast<const char*>(list) + HostListLayout::Count);
}
// Calls a virtual method of a TList (or descendant) by its slot.
void HostListClear(void* list);

// TThreadList: class, its TList, then its critical section.
namespace HostThreadListLayout {
constexpr int List = 4;
constexpr int Lock = 8;
}  // namespace HostThreadListLayout

// TInterfaceList (a TInterfacedObject): class, reference count, IInterface
// slot, its TThreadList, then the IInterfaceList slot.
namespace HostInterfaceListLayout {
constexpr int ThreadList = 12;
constexpr int InterfaceListSlot = 16;
}  // namespace HostInterfaceListLayout

// The TList inside a TInterfaceList object (read directly, no lock taken).
void* HostInterfaceListInner(const void* interfaceList);
CRITICAL_SECTION* HostInterfaceListLock(const void* interfaceList);

// IInterfaceList's methods after IUnknown's (register convention).
namespace HostIInterfaceList {
constexpr int Get = 3;        // function Get(Index): IInterface (result variable last)
constexpr int GetCount = 5;   // function GetCount: Integer
constexpr int Put = 6;        // procedure Put(Index; const Item: IInterface)
constexpr int IndexOf = 13;   // function IndexOf(const Item: IInterface): Integer
constexpr int Add = 14;       // function Add(const Item: IInterface): Integer
constexpr int Lock = 18;
constexpr int Unlock = 19;
}  // namespace HostIInterfaceList

// ---- resource strings ------------------------------------------------------------------
// A resource string record: the address of a module-handle variable, then a
// string-table identifier (or, above 0xFFFF, the address of the text itself).
struct THostResStringRec {
  HINSTANCE* Module;
  uintptr_t Identifier;
};
std::wstring LoadHostResString(const THostResStringRec* record);
// The run-time's Format for one integer argument: "%d" replaced by value.
std::wstring FormatHostInt(const std::wstring& pattern, int32_t value);

// ---- host-layout objects of our own -----------------------------------------------------
// A class record in the host's layout for objects we hand the host, which the
// host may free through the virtual destructor (TObject.Free → Destroy with
// DL = 1). The root virtual methods come from a host class (usually
// TObject); Destroy is ours. The record lives as long as the process.
class THostClassRecord {
public:
  // `parent` is a host class reference (its root methods are copied);
  // `destroy` runs the object's destructor and frees its memory.
  THostClassRecord(const char* name, void* parent, int32_t instanceSize,
                   void(QM_REGISTER* destroy)(void* self, int32_t outermost));
  void* ClassRef() { return FSlots + 22; }

private:
  void* FSlots[22 + 1] = {};
  void* FParentVar = nullptr;
  unsigned char FName[64] = {};
};

}  // namespace Quillmend
