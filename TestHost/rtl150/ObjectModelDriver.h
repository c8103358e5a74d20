// The stand-in run-time's object model, declared once for the stand-in
// modules, bds.exe, the tests and the benchmarks: export names, function
// types, instance layouts and interface slots (the test host's choices where
// the host's documentation is silent; TestHost/README.md lists them).
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"

namespace RtlObjects {

namespace Export {
// Classes (DATA: the class reference itself).
constexpr const char* TListClass = "@Classes@TList@";
constexpr const char* TObjectListClass = "@Contnrs@TObjectList@";
constexpr const char* TThreadListClass = "@Classes@TThreadList@";
constexpr const char* TInterfacedObjectClass = "@System@TInterfacedObject@";
constexpr const char* TInterfaceListClass = "@Classes@TInterfaceList@";
constexpr const char* EListErrorClass = "@Classes@EListError@";
// DATA: resource string record {module variable, identifier or text}.
constexpr const char* SListIndexError = "@Rtlconsts@_SListIndexError";

constexpr const char* ListAdd = "@Classes@TList@Add$qqrpv";
constexpr const char* ListDelete = "@Classes@TList@Delete$qqri";
constexpr const char* ListExtract = "@Classes@TList@Extract$qqrpv";
constexpr const char* ListIndexOf = "@Classes@TList@IndexOf$qqrpv";
constexpr const char* ListRemove = "@Classes@TList@Remove$qqrpv";
constexpr const char* ListGet = "@Classes@TList@Get$qqri";
constexpr const char* ListInsert = "@Classes@TList@Insert$qqripv";
constexpr const char* ListClear = "@Classes@TList@Clear$qqrv";
constexpr const char* ListNotify = "@Classes@TList@Notify$qqrpv25Classes@TListNotification";
constexpr const char* ObjectListCreate = "@Contnrs@TObjectList@$bctr$qqro";
constexpr const char* ThreadListCreate = "@Classes@TThreadList@$bctr$qqrv";
constexpr const char* ThreadListLockList = "@Classes@TThreadList@LockList$qqrv";
constexpr const char* ThreadListUnlockList = "@Classes@TThreadList@UnlockList$qqrv";
constexpr const char* GetInterface = "@System@TObject@GetInterface$qqrrx5_GUIDpv";
constexpr const char* IntfQueryInterface = "@System@TInterfacedObject@QueryInterface$qqsrx5_GUIDpv";
constexpr const char* IntfAddRef = "@System@TInterfacedObject@_AddRef$qqsv";
constexpr const char* IntfRelease = "@System@TInterfacedObject@_Release$qqsv";
constexpr const char* InterfaceListCreate = "@Classes@TInterfaceList@$bctr$qqrv";
constexpr const char* InterfaceListGet = "@Classes@TInterfaceList@Get$qqri";
constexpr const char* InterfaceListPut = "@Classes@TInterfaceList@Put$qqrix45System@%DelphiInterface$t17System@IInterface%";
constexpr const char* InterfaceListAdd = "@Classes@TInterfaceList@Add$qqrx45System@%DelphiInterface$t17System@IInterface%";
constexpr const char* InterfaceListIndexOf =
    "@Classes@TInterfaceList@IndexOf$qqrx45System@%DelphiInterface$t17System@IInterface%";
constexpr const char* InterfaceListGetCount = "@Classes@TInterfaceList@GetCount$qqrv";
constexpr const char* InterfaceListClear = "@Classes@TInterfaceList@Clear$qqrv";
constexpr const char* InterfaceListLock = "@Classes@TInterfaceList@Lock$qqrv";
constexpr const char* InterfaceListUnlock = "@Classes@TInterfaceList@Unlock$qqrv";
constexpr const char* SafeIntfAsClass =
    "@System@@SafeIntfAsClass$qqrx45System@%DelphiInterface$t17System@IInterface%p17System@TMetaClass";
// Text comparisons (SysUtils).
constexpr const char* SameText = "@Sysutils@SameText$qqrx20System@UnicodeStringt1";
constexpr const char* AnsiSameText = "@Sysutils@AnsiSameText$qqrx20System@UnicodeStringt1";
constexpr const char* SameFileName = "@Sysutils@SameFileName$qqrx20System@UnicodeStringt1";
constexpr const char* AnsiCompareFileName = "@Sysutils@AnsiCompareFileName$qqrx20System@UnicodeStringt1";
constexpr const char* ExpandUNCFileName = "@Sysutils@ExpandUNCFileName$qqrx20System@UnicodeString";
}  // namespace Export

// TList: [0] class, [4] item array, [8] count, [12] capacity. Virtual
// methods: 0 Grow, 1 Notify(Ptr; Action), 2 Clear. Deleting an item
// notifies lnDeleted after it left the list; nil items notify nothing.
namespace ListLayout {
constexpr int Items = 4, Count = 8, Capacity = 12, InstanceSize = 16;
constexpr int GrowSlot = 0, NotifySlot = 1, ClearSlot = 2;
}  // namespace ListLayout
enum ListNotification : std::uint8_t { lnAdded = 0, lnExtracted = 1, lnDeleted = 2 };
// TObjectList: TList + [16] OwnsObjects (frees an item on lnDeleted).
constexpr int ObjectListOwnsObjects = 16;
constexpr int ObjectListInstanceSize = 20;
// TThreadList: [0] class, [4] its TList, [8] critical section (24 bytes), [32] duplicates.
namespace ThreadListLayout {
constexpr int List = 4, Lock = 8, InstanceSize = 36;
}
// TInterfacedObject: [0] class, [4] reference count, [8] IInterface slot.
namespace InterfacedLayout {
constexpr int RefCount = 4, IInterfaceSlot = 8, InstanceSize = 12;
}
// TInterfaceList: TInterfacedObject + [12] TThreadList, [16] IInterfaceList slot.
namespace InterfaceListLayout {
constexpr int ThreadList = 12, IInterfaceListSlot = 16, InstanceSize = 20;
}
// IInterfaceList's methods (after IUnknown's, register convention).
namespace IInterfaceListSlot {
constexpr int Get = 3, GetCapacity = 4, GetCount = 5, Put = 6, SetCapacity = 7, SetCount = 8, Clear = 9,
              Delete = 10, Exchange = 11, First = 12, IndexOf = 13, Add = 14, Insert = 15, Last = 16,
              Remove = 17, Lock = 18, Unlock = 19, Count = 20;
}

constexpr GUID IID_IInterface = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID IID_IInterfaceList = {0x285DEA8A, 0xB865, 0x11D1, {0xAA, 0xA7, 0x00, 0xC0, 0x4F, 0xB1, 0x7A, 0x72}};
// QueryInterface with this identifier answers the object itself.
constexpr GUID ObjCastGUID = {0xCEDF24DE, 0x80A4, 0x447D, {0x8C, 0x75, 0xEB, 0x87, 0x1D, 0xC1, 0x21, 0xFD}};

using ListAddFn = std::int32_t(QM_HOST_REGISTER*)(void* list, void* item);
using ListIndexFn = void(QM_HOST_REGISTER*)(void* list, std::int32_t index);
using ListItemFn = std::int32_t(QM_HOST_REGISTER*)(void* list, void* item);
using ListExtractFn = void*(QM_HOST_REGISTER*)(void* list, void* item);
using ListGetFn = void*(QM_HOST_REGISTER*)(void* list, std::int32_t index);
using ListInsertFn = void(QM_HOST_REGISTER*)(void* list, std::int32_t index, void* item);
using ListProcFn = void(QM_HOST_REGISTER*)(void* list);
using ListNotifyFn = void(QM_HOST_REGISTER*)(void* list, void* item, std::uint32_t action);
using ObjectListCreateFn = void*(QM_HOST_REGISTER*)(void* classRef, std::int32_t alloc, std::int32_t owns);
using CreateFn = void*(QM_HOST_REGISTER*)(void* classRef, std::int32_t alloc);
using LockListFn = void*(QM_HOST_REGISTER*)(void* threadList);
using GetInterfaceFn = std::uint32_t(QM_HOST_REGISTER*)(void* self, const GUID* iid, void** out);
using QueryInterfaceFn = HRESULT(__stdcall*)(void* intf, const GUID* iid, void** out);
using RefCountFn = ULONG(__stdcall*)(void* intf);
using IntfListGetFn = void(QM_HOST_REGISTER*)(void* list, std::int32_t index, void** result);
using IntfListPutFn = void(QM_HOST_REGISTER*)(void* list, std::int32_t index, void* item);
using IntfListItemFn = std::int32_t(QM_HOST_REGISTER*)(void* list, void* item);
using IntfListCountFn = std::int32_t(QM_HOST_REGISTER*)(void* list);
using SafeIntfAsClassFn = void*(QM_HOST_REGISTER*)(void* intf, void* classRef);
using SameTextFn = std::uint8_t(QM_HOST_REGISTER*)(const wchar_t* a, const wchar_t* b);  // Boolean in AL
using CompareTextFn = std::int32_t(QM_HOST_REGISTER*)(const wchar_t* a, const wchar_t* b);
using StringFn = void(QM_HOST_REGISTER*)(const wchar_t* s, wchar_t** result);

template <class T>
T Bind(HMODULE rtl, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(rtl ? GetProcAddress(rtl, name) : nullptr));
}
inline void* ClassExport(HMODULE rtl, const char* name) { return Bind<void*>(rtl, name); }

}  // namespace RtlObjects
