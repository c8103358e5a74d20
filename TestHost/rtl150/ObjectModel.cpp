// The run-time's object model as the IDE's packages use it: TList with its
// virtual Notify and Clear, the owning TObjectList, TThreadList,
// TInterfacedObject with interface tables and QueryInterface, TInterfaceList
// (IInterfaceList), EListError with SListIndexError, and the safe cast from
// an interface to an object. Layouts and slots: rtl150/ObjectModelDriver.h.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "Common/HostClass.h"
#include "Common/InterfaceStubs.h"
#include "ObjectModelDriver.h"
#include "RtlInternal.h"

using namespace QmHost;
using namespace RtlObjects;

QM_HOST_CLASS(rtl_TList_Class, 3);
QM_HOST_CLASS(rtl_TObjectList_Class, 3);
QM_HOST_CLASS(rtl_TThreadList_Class, 0);
QM_HOST_CLASS(rtl_TInterfacedObject_Class, 0);
QM_HOST_CLASS(rtl_TInterfaceList_Class, 0);
QM_HOST_CLASS(rtl_EListError_Class, 0);

extern "C" {
extern char rtl_TList_Class[] QM_HOST_SYMBOL(rtl_TList_Class);
extern char rtl_TObjectList_Class[] QM_HOST_SYMBOL(rtl_TObjectList_Class);
extern char rtl_TThreadList_Class[] QM_HOST_SYMBOL(rtl_TThreadList_Class);
extern char rtl_TInterfacedObject_Class[] QM_HOST_SYMBOL(rtl_TInterfacedObject_Class);
extern char rtl_TInterfaceList_Class[] QM_HOST_SYMBOL(rtl_TInterfaceList_Class);
extern char rtl_EListError_Class[] QM_HOST_SYMBOL(rtl_EListError_Class);
extern void* rtl_TObject_ClassVar QM_HOST_SYMBOL(rtl_TObject_ClassVar);
extern void* rtl_Exception_ClassVar QM_HOST_SYMBOL(rtl_Exception_ClassVar);
}

namespace {

HINSTANCE OwnInstance() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&OwnInstance), &module);
  return module;
}

HINSTANCE g_rtlInstance = OwnInstance();

struct ListRec {
  void* classRef;
  void** items;
  std::int32_t count;
  std::int32_t capacity;
};

struct ThreadListRec {
  void* classRef;
  ListRec* list;
  CRITICAL_SECTION lock;
  std::uint8_t duplicates;
};

struct InterfaceListRec {
  void* classRef;
  LONG refCount;
  const void* intfSlot;
  ThreadListRec* threadList;
  const void* listSlot;
};

using HookFn = void(QM_HOST_REGISTER*)(void* self);
using DestroyFn = void(QM_HOST_REGISTER*)(void* self, int outermost);
using NewInstanceFn = void*(QM_HOST_REGISTER*)(void* classRef);

void* ClassOf(const void* self) { return *static_cast<void* const*>(self); }
void* Virtual(const void* self, int slot) { return VmtSlot(ClassOf(self), 4 * slot); }

void Notify(ListRec* list, void* item, std::uint32_t action) {
  reinterpret_cast<ListNotifyFn>(Virtual(list, ListLayout::NotifySlot))(list, item, action);
}

[[noreturn]] void ListIndexError(std::int32_t index) {
  wchar_t text[64];
  wsprintfW(text, L"List index out of bounds (%d)", index);
  RtlRaiseNew(rtl_EListError_Class, text);
}

void SetCapacity(ListRec* list, std::int32_t capacity) {
  if (capacity < list->count) ListIndexError(capacity);
  if (capacity == list->capacity) return;
  list->items = static_cast<void**>(std::realloc(list->items, sizeof(void*) * static_cast<std::size_t>(capacity ? capacity : 1)));
  list->capacity = capacity;
}

void FreeObject(void* object) {
  if (object) reinterpret_cast<DestroyFn>(VmtSlot(ClassOf(object), kVmtDestroy))(object, 1);
}

// A new instance of a class, constructed as TObject.Create does.
void* NewObject(void* classRef) {
  void* self = reinterpret_cast<NewInstanceFn>(VmtSlot(classRef, kVmtNewInstance))(classRef);
  reinterpret_cast<HookFn>(VmtSlot(classRef, kVmtAfterConstruction))(self);
  return self;
}

void AddRef(const void* intf) {
  if (intf) reinterpret_cast<RefCountFn>((*static_cast<void* const* const*>(intf))[1])(const_cast<void*>(intf));
}
void Release(const void* intf) {
  if (intf) reinterpret_cast<RefCountFn>((*static_cast<void* const* const*>(intf))[2])(const_cast<void*>(intf));
}

} // namespace

extern "C" {

// The resource string of the list-index error: its text by address.
struct ResStringRec {
  HINSTANCE* module;
  UINT_PTR identifier;
} rtl_SListIndexError QM_HOST_SYMBOL(rtl_SListIndexError) = {
    &g_rtlInstance, reinterpret_cast<UINT_PTR>(L"List index out of bounds (%d)")};

// ---- TList -------------------------------------------------------------------------

void QM_HOST_REGISTER RtlListGrow(ListRec* list) QM_HOST_SYMBOL(rtl_TList_Grow);
void QM_HOST_REGISTER RtlListGrow(ListRec* list) {
  std::int32_t delta = list->capacity > 64 ? list->capacity / 4 : list->capacity > 8 ? 16 : 4;
  SetCapacity(list, list->capacity + delta);
}

void QM_HOST_REGISTER RtlListNotify(ListRec*, void*, std::uint32_t) QM_HOST_SYMBOL(rtl_TList_Notify);
void QM_HOST_REGISTER RtlListNotify(ListRec*, void*, std::uint32_t) {}

std::int32_t QM_HOST_REGISTER RtlListAdd(ListRec* list, void* item) QM_HOST_SYMBOL(rtl_TList_Add);
std::int32_t QM_HOST_REGISTER RtlListAdd(ListRec* list, void* item) {
  std::int32_t index = list->count;
  if (index == list->capacity) reinterpret_cast<ListProcFn>(Virtual(list, ListLayout::GrowSlot))(list);
  list->items[index] = item;
  ++list->count;
  if (item) Notify(list, item, lnAdded);
  return index;
}

void QM_HOST_REGISTER RtlListInsert(ListRec* list, std::int32_t index, void* item) QM_HOST_SYMBOL(rtl_TList_Insert);
void QM_HOST_REGISTER RtlListInsert(ListRec* list, std::int32_t index, void* item) {
  if (index < 0 || index > list->count) ListIndexError(index);
  if (list->count == list->capacity) reinterpret_cast<ListProcFn>(Virtual(list, ListLayout::GrowSlot))(list);
  std::memmove(list->items + index + 1, list->items + index, sizeof(void*) * static_cast<std::size_t>(list->count - index));
  list->items[index] = item;
  ++list->count;
  if (item) Notify(list, item, lnAdded);
}

void QM_HOST_REGISTER RtlListDelete(ListRec* list, std::int32_t index) QM_HOST_SYMBOL(rtl_TList_Delete);
void QM_HOST_REGISTER RtlListDelete(ListRec* list, std::int32_t index) {
  if (index < 0 || index >= list->count) ListIndexError(index);
  void* item = list->items[index];
  --list->count;
  std::memmove(list->items + index, list->items + index + 1, sizeof(void*) * static_cast<std::size_t>(list->count - index));
  if (item) Notify(list, item, lnDeleted);
}

std::int32_t QM_HOST_REGISTER RtlListIndexOf(ListRec* list, void* item) QM_HOST_SYMBOL(rtl_TList_IndexOf);
std::int32_t QM_HOST_REGISTER RtlListIndexOf(ListRec* list, void* item) {
  for (std::int32_t i = 0; i < list->count; ++i)
    if (list->items[i] == item) return i;
  return -1;
}

std::int32_t QM_HOST_REGISTER RtlListRemove(ListRec* list, void* item) QM_HOST_SYMBOL(rtl_TList_Remove);
std::int32_t QM_HOST_REGISTER RtlListRemove(ListRec* list, void* item) {
  std::int32_t index = RtlListIndexOf(list, item);
  if (index >= 0) RtlListDelete(list, index);
  return index;
}

// The item leaves the list without lnDeleted; it is notified lnExtracted.
void* QM_HOST_REGISTER RtlListExtract(ListRec* list, void* item) QM_HOST_SYMBOL(rtl_TList_Extract);
void* QM_HOST_REGISTER RtlListExtract(ListRec* list, void* item) {
  std::int32_t index = RtlListIndexOf(list, item);
  if (index < 0) return nullptr;
  list->items[index] = nullptr;
  RtlListDelete(list, index);
  Notify(list, item, lnExtracted);
  return item;
}

void* QM_HOST_REGISTER RtlListGet(ListRec* list, std::int32_t index) QM_HOST_SYMBOL(rtl_TList_Get);
void* QM_HOST_REGISTER RtlListGet(ListRec* list, std::int32_t index) {
  if (index < 0 || index >= list->count) ListIndexError(index);
  return list->items[index];
}

// Deletes item by item from the end (each notified), then drops the array.
void QM_HOST_REGISTER RtlListClear(ListRec* list) QM_HOST_SYMBOL(rtl_TList_Clear);
void QM_HOST_REGISTER RtlListClear(ListRec* list) {
  while (list->count > 0) RtlListDelete(list, list->count - 1);
  std::free(list->items);
  list->items = nullptr;
  list->capacity = 0;
}

void QM_HOST_REGISTER RtlListDestroy(ListRec* list, int outermost) QM_HOST_SYMBOL(rtl_TList_Destroy);
void QM_HOST_REGISTER RtlListDestroy(ListRec* list, int outermost) {
  if (outermost & 0xFF) reinterpret_cast<HookFn>(VmtSlot(ClassOf(list), kVmtBeforeDestruction))(list);
  reinterpret_cast<ListProcFn>(Virtual(list, ListLayout::ClearSlot))(list);
  std::free(list->items);
  list->items = nullptr;
  if (outermost & 0xFF) reinterpret_cast<HookFn>(VmtSlot(ClassOf(list), kVmtFreeInstance))(list);
}

// ---- TObjectList ---------------------------------------------------------------------

void* QM_HOST_REGISTER RtlObjectListCreate(void* classOrSelf, std::int32_t alloc, std::int32_t owns)
    QM_HOST_SYMBOL(rtl_TObjectList_Create);
void* QM_HOST_REGISTER RtlObjectListCreate(void* classOrSelf, std::int32_t alloc, std::int32_t owns) {
  void* self = (alloc & 0xFF) ? reinterpret_cast<NewInstanceFn>(VmtSlot(classOrSelf, kVmtNewInstance))(classOrSelf)
                              : classOrSelf;
  static_cast<std::uint8_t*>(self)[ObjectListOwnsObjects] = owns & 0xFF ? 1 : 0;
  if (alloc & 0xFF) reinterpret_cast<HookFn>(VmtSlot(ClassOf(self), kVmtAfterConstruction))(self);
  return self;
}

void QM_HOST_REGISTER RtlObjectListNotify(ListRec* list, void* item, std::uint32_t action)
    QM_HOST_SYMBOL(rtl_TObjectList_Notify);
void QM_HOST_REGISTER RtlObjectListNotify(ListRec* list, void* item, std::uint32_t action) {
  if ((action & 0xFF) == lnDeleted && reinterpret_cast<std::uint8_t*>(list)[ObjectListOwnsObjects]) FreeObject(item);
}

// ---- TThreadList -----------------------------------------------------------------------

void* QM_HOST_REGISTER RtlThreadListCreate(void* classOrSelf, std::int32_t alloc) QM_HOST_SYMBOL(rtl_TThreadList_Create);
void* QM_HOST_REGISTER RtlThreadListCreate(void* classOrSelf, std::int32_t alloc) {
  auto* self = static_cast<ThreadListRec*>(
      (alloc & 0xFF) ? reinterpret_cast<NewInstanceFn>(VmtSlot(classOrSelf, kVmtNewInstance))(classOrSelf) : classOrSelf);
  InitializeCriticalSection(&self->lock);
  self->list = static_cast<ListRec*>(NewObject(rtl_TList_Class));
  if (alloc & 0xFF) reinterpret_cast<HookFn>(VmtSlot(ClassOf(self), kVmtAfterConstruction))(self);
  return self;
}

void* QM_HOST_REGISTER RtlThreadListLock(ThreadListRec* self) QM_HOST_SYMBOL(rtl_TThreadList_LockList);
void* QM_HOST_REGISTER RtlThreadListLock(ThreadListRec* self) {
  EnterCriticalSection(&self->lock);
  return self->list;
}

void QM_HOST_REGISTER RtlThreadListUnlock(ThreadListRec* self) QM_HOST_SYMBOL(rtl_TThreadList_UnlockList);
void QM_HOST_REGISTER RtlThreadListUnlock(ThreadListRec* self) { LeaveCriticalSection(&self->lock); }

void QM_HOST_REGISTER RtlThreadListDestroy(ThreadListRec* self, int outermost) QM_HOST_SYMBOL(rtl_TThreadList_Destroy);
void QM_HOST_REGISTER RtlThreadListDestroy(ThreadListRec* self, int outermost) {
  if (outermost & 0xFF) reinterpret_cast<HookFn>(VmtSlot(ClassOf(self), kVmtBeforeDestruction))(self);
  EnterCriticalSection(&self->lock);
  FreeObject(self->list);
  self->list = nullptr;
  LeaveCriticalSection(&self->lock);
  DeleteCriticalSection(&self->lock);
  if (outermost & 0xFF) reinterpret_cast<HookFn>(VmtSlot(ClassOf(self), kVmtFreeInstance))(self);
}

// ---- TObject.GetInterface, TInterfacedObject ---------------------------------------------

// The object-cast identifier answers the object itself (no reference
// counted); otherwise the interface tables of the class and its parents.
std::uint32_t QM_HOST_REGISTER RtlGetInterface(void* self, const GUID* iid, void** out) QM_HOST_SYMBOL(rtl_TObject_GetInterface);
std::uint32_t QM_HOST_REGISTER RtlGetInterface(void* self, const GUID* iid, void** out) {
  *out = nullptr;
  if (IsEqualGUID(*iid, ObjCastGUID)) {
    *out = self;
    return 1;
  }
  for (void* c = ClassOf(self); c; c = VmtSlot(c, kVmtParent) ? *static_cast<void**>(VmtSlot(c, kVmtParent)) : nullptr) {
    auto* table = static_cast<const char*>(VmtSlot(c, kVmtIntfTable));
    if (!table) continue;
    int count = *reinterpret_cast<const int*>(table);
    for (int i = 0; i < count; ++i) {
      auto* entry = reinterpret_cast<const InterfaceEntry*>(table + 4 + sizeof(InterfaceEntry) * static_cast<std::size_t>(i));
      if (!IsEqualGUID(entry->iid, *iid)) continue;
      void* intf = static_cast<char*>(self) + entry->offset;
      AddRef(intf);
      *out = intf;
      return 1;
    }
  }
  return 0;
}

HRESULT __stdcall RtlIntfQueryInterface(void* self, const GUID* iid, void** out) QM_HOST_SYMBOL(rtl_TInterfacedObject_QueryInterface);
HRESULT __stdcall RtlIntfQueryInterface(void* self, const GUID* iid, void** out) {
  return RtlGetInterface(self, iid, out) ? S_OK : E_NOINTERFACE;
}

ULONG __stdcall RtlIntfAddRef(void* self) QM_HOST_SYMBOL(rtl_TInterfacedObject_AddRef);
ULONG __stdcall RtlIntfAddRef(void* self) {
  return static_cast<ULONG>(InterlockedIncrement(reinterpret_cast<LONG*>(static_cast<char*>(self) + InterfacedLayout::RefCount)));
}

// The last reference destroys the object.
ULONG __stdcall RtlIntfRelease(void* self) QM_HOST_SYMBOL(rtl_TInterfacedObject_Release);
ULONG __stdcall RtlIntfRelease(void* self) {
  LONG count = InterlockedDecrement(reinterpret_cast<LONG*>(static_cast<char*>(self) + InterfacedLayout::RefCount));
  if (count == 0) FreeObject(self);
  return static_cast<ULONG>(count);
}

// A new instance starts with one reference that AfterConstruction drops, so
// that handing Self out during construction does not free it.
void* QM_HOST_REGISTER RtlIntfNewInstance(void* classRef) QM_HOST_SYMBOL(rtl_TInterfacedObject_NewInstance);
void* QM_HOST_REGISTER RtlIntfNewInstance(void* classRef) {
  void* self = RtlObjectNewInstance(classRef);
  *reinterpret_cast<LONG*>(static_cast<char*>(self) + InterfacedLayout::RefCount) = 1;
  return self;
}

void QM_HOST_REGISTER RtlIntfAfterConstruction(void* self) QM_HOST_SYMBOL(rtl_TInterfacedObject_AfterConstruction);
void QM_HOST_REGISTER RtlIntfAfterConstruction(void* self) {
  InterlockedDecrement(reinterpret_cast<LONG*>(static_cast<char*>(self) + InterfacedLayout::RefCount));
}

// function _SafeIntfAsClass(const Intf: IInterface; Parent: TClass): TObject —
// the object behind the interface when it answers the object-cast
// identifier and is of the class (or a descendant); nil otherwise.
void* QM_HOST_REGISTER RtlSafeIntfAsClass(void* intf, void* parent) QM_HOST_SYMBOL(rtl_SafeIntfAsClass);
void* QM_HOST_REGISTER RtlSafeIntfAsClass(void* intf, void* parent) {
  if (!intf) return nullptr;
  void* object = nullptr;
  auto query = reinterpret_cast<QueryInterfaceFn>((*static_cast<void* const* const*>(intf))[0]);
  if (query(intf, &ObjCastGUID, &object) != S_OK || !object) return nullptr;
  for (void* c = ClassOf(object); c; c = VmtSlot(c, kVmtParent) ? *static_cast<void**>(VmtSlot(c, kVmtParent)) : nullptr)
    if (c == parent) return object;
  return nullptr;
}

// ---- TInterfaceList ---------------------------------------------------------------------

void* QM_HOST_REGISTER RtlIntfListCreate(void* classOrSelf, std::int32_t alloc) QM_HOST_SYMBOL(rtl_TInterfaceList_Create);
void* QM_HOST_REGISTER RtlIntfListCreate(void* classOrSelf, std::int32_t alloc) {
  auto* self = static_cast<InterfaceListRec*>(
      (alloc & 0xFF) ? reinterpret_cast<NewInstanceFn>(VmtSlot(classOrSelf, kVmtNewInstance))(classOrSelf) : classOrSelf);
  self->threadList = static_cast<ThreadListRec*>(RtlThreadListCreate(rtl_TThreadList_Class, 1));
  if (alloc & 0xFF) reinterpret_cast<HookFn>(VmtSlot(ClassOf(self), kVmtAfterConstruction))(self);
  return self;
}

void QM_HOST_REGISTER RtlIntfListLock(InterfaceListRec* self) QM_HOST_SYMBOL(rtl_TInterfaceList_Lock);
void QM_HOST_REGISTER RtlIntfListLock(InterfaceListRec* self) { RtlThreadListLock(self->threadList); }

void QM_HOST_REGISTER RtlIntfListUnlock(InterfaceListRec* self) QM_HOST_SYMBOL(rtl_TInterfaceList_Unlock);
void QM_HOST_REGISTER RtlIntfListUnlock(InterfaceListRec* self) { RtlThreadListUnlock(self->threadList); }

// Locks and checks the index; on a bad one unlocks first, then raises.
static ListRec* LockedAt(InterfaceListRec* self, std::int32_t index) {
  ListRec* list = static_cast<ListRec*>(RtlThreadListLock(self->threadList));
  if (index < 0 || index >= list->count) {
    RtlThreadListUnlock(self->threadList);
    ListIndexError(index);
  }
  return list;
}

void QM_HOST_REGISTER RtlIntfListGet(InterfaceListRec* self, std::int32_t index, void** result) QM_HOST_SYMBOL(rtl_TInterfaceList_Get);
void QM_HOST_REGISTER RtlIntfListGet(InterfaceListRec* self, std::int32_t index, void** result) {
  ListRec* list = LockedAt(self, index);
  void* item = list->items[index];
  AddRef(item);
  void* old = *result;
  *result = item;
  Release(old);
  RtlThreadListUnlock(self->threadList);
}

void QM_HOST_REGISTER RtlIntfListPut(InterfaceListRec* self, std::int32_t index, void* item) QM_HOST_SYMBOL(rtl_TInterfaceList_Put);
void QM_HOST_REGISTER RtlIntfListPut(InterfaceListRec* self, std::int32_t index, void* item) {
  ListRec* list = LockedAt(self, index);
  AddRef(item);
  void* old = list->items[index];
  list->items[index] = item;
  Release(old);
  RtlThreadListUnlock(self->threadList);
}

std::int32_t QM_HOST_REGISTER RtlIntfListAdd(InterfaceListRec* self, void* item) QM_HOST_SYMBOL(rtl_TInterfaceList_Add);
std::int32_t QM_HOST_REGISTER RtlIntfListAdd(InterfaceListRec* self, void* item) {
  ListRec* list = static_cast<ListRec*>(RtlThreadListLock(self->threadList));
  std::int32_t index = RtlListAdd(list, nullptr);
  AddRef(item);
  list->items[index] = item;
  RtlThreadListUnlock(self->threadList);
  return index;
}

void QM_HOST_REGISTER RtlIntfListInsert(InterfaceListRec* self, std::int32_t index, void* item) QM_HOST_SYMBOL(rtl_TInterfaceList_Insert);
void QM_HOST_REGISTER RtlIntfListInsert(InterfaceListRec* self, std::int32_t index, void* item) {
  ListRec* list = static_cast<ListRec*>(RtlThreadListLock(self->threadList));
  if (index < 0 || index > list->count) {
    RtlThreadListUnlock(self->threadList);
    ListIndexError(index);
  }
  RtlListInsert(list, index, nullptr);
  AddRef(item);
  list->items[index] = item;
  RtlThreadListUnlock(self->threadList);
}

std::int32_t QM_HOST_REGISTER RtlIntfListIndexOf(InterfaceListRec* self, void* item) QM_HOST_SYMBOL(rtl_TInterfaceList_IndexOf);
std::int32_t QM_HOST_REGISTER RtlIntfListIndexOf(InterfaceListRec* self, void* item) {
  ListRec* list = static_cast<ListRec*>(RtlThreadListLock(self->threadList));
  std::int32_t index = RtlListIndexOf(list, item);
  RtlThreadListUnlock(self->threadList);
  return index;
}

void QM_HOST_REGISTER RtlIntfListDelete(InterfaceListRec* self, std::int32_t index) QM_HOST_SYMBOL(rtl_TInterfaceList_Delete);
void QM_HOST_REGISTER RtlIntfListDelete(InterfaceListRec* self, std::int32_t index) {
  ListRec* list = LockedAt(self, index);
  void* item = list->items[index];
  list->items[index] = nullptr;
  Release(item);
  RtlListDelete(list, index);
  RtlThreadListUnlock(self->threadList);
}

std::int32_t QM_HOST_REGISTER RtlIntfListRemove(InterfaceListRec* self, void* item) QM_HOST_SYMBOL(rtl_TInterfaceList_Remove);
std::int32_t QM_HOST_REGISTER RtlIntfListRemove(InterfaceListRec* self, void* item) {
  RtlThreadListLock(self->threadList);
  std::int32_t index = RtlIntfListIndexOf(self, item);
  if (index >= 0) RtlIntfListDelete(self, index);
  RtlThreadListUnlock(self->threadList);
  return index;
}

std::int32_t QM_HOST_REGISTER RtlIntfListGetCount(InterfaceListRec* self) QM_HOST_SYMBOL(rtl_TInterfaceList_GetCount);
std::int32_t QM_HOST_REGISTER RtlIntfListGetCount(InterfaceListRec* self) {
  ListRec* list = static_cast<ListRec*>(RtlThreadListLock(self->threadList));
  std::int32_t count = list->count;
  RtlThreadListUnlock(self->threadList);
  return count;
}

std::int32_t QM_HOST_REGISTER RtlIntfListGetCapacity(InterfaceListRec* self) {
  ListRec* list = static_cast<ListRec*>(RtlThreadListLock(self->threadList));
  std::int32_t capacity = list->capacity;
  RtlThreadListUnlock(self->threadList);
  return capacity;
}

void QM_HOST_REGISTER RtlIntfListSetCapacity(InterfaceListRec* self, std::int32_t capacity) {
  ListRec* list = static_cast<ListRec*>(RtlThreadListLock(self->threadList));
  if (capacity >= list->count) SetCapacity(list, capacity);
  RtlThreadListUnlock(self->threadList);
}

// Shrinking releases the items past the new count; growing adds nil slots.
void QM_HOST_REGISTER RtlIntfListSetCount(InterfaceListRec* self, std::int32_t count) {
  ListRec* list = static_cast<ListRec*>(RtlThreadListLock(self->threadList));
  while (list->count > count && list->count > 0) RtlIntfListDelete(self, list->count - 1);
  while (list->count < count) RtlListAdd(list, nullptr);
  RtlThreadListUnlock(self->threadList);
}

void QM_HOST_REGISTER RtlIntfListClear(InterfaceListRec* self) QM_HOST_SYMBOL(rtl_TInterfaceList_Clear);
void QM_HOST_REGISTER RtlIntfListClear(InterfaceListRec* self) {
  ListRec* list = static_cast<ListRec*>(RtlThreadListLock(self->threadList));
  for (std::int32_t i = 0; i < list->count; ++i) {
    void* item = list->items[i];
    list->items[i] = nullptr;
    Release(item);
  }
  RtlListClear(list);
  RtlThreadListUnlock(self->threadList);
}

void QM_HOST_REGISTER RtlIntfListExchange(InterfaceListRec* self, std::int32_t a, std::int32_t b) {
  ListRec* list = LockedAt(self, a);
  if (b < 0 || b >= list->count) {
    RtlThreadListUnlock(self->threadList);
    ListIndexError(b);
  }
  void* item = list->items[a];
  list->items[a] = list->items[b];
  list->items[b] = item;
  RtlThreadListUnlock(self->threadList);
}

void QM_HOST_REGISTER RtlIntfListFirst(InterfaceListRec* self, void** result) { RtlIntfListGet(self, 0, result); }

void QM_HOST_REGISTER RtlIntfListLast(InterfaceListRec* self, void** result) {
  RtlIntfListGet(self, RtlIntfListGetCount(self) - 1, result);
}

void QM_HOST_REGISTER RtlIntfListDestroy(InterfaceListRec* self, int outermost) QM_HOST_SYMBOL(rtl_TInterfaceList_Destroy);
void QM_HOST_REGISTER RtlIntfListDestroy(InterfaceListRec* self, int outermost) {
  if (outermost & 0xFF) reinterpret_cast<HookFn>(VmtSlot(ClassOf(self), kVmtBeforeDestruction))(self);
  RtlIntfListClear(self);
  FreeObject(self->threadList);
  self->threadList = nullptr;
  if (outermost & 0xFF) reinterpret_cast<HookFn>(VmtSlot(ClassOf(self), kVmtFreeInstance))(self);
}

void* rtl_TList_ClassVar QM_HOST_SYMBOL(rtl_TList_ClassVar) = rtl_TList_Class;
void* rtl_TInterfacedObject_ClassVar QM_HOST_SYMBOL(rtl_TInterfacedObject_ClassVar) = rtl_TInterfacedObject_Class;

} // extern "C"

bool RtlObjectModelBuilt() {
  static const bool built = [] {
    RtlBaseClassesBuilt();
    auto code = [](auto f) { return reinterpret_cast<const void*>(f); };
    HostClassBuilder(rtl_TList_Class_Storage, "TList")
        .Parent(&rtl_TObject_ClassVar)
        .InstanceSize(ListLayout::InstanceSize)
        .Virtual(ListLayout::GrowSlot, code(&RtlListGrow))
        .Virtual(ListLayout::NotifySlot, code(&RtlListNotify))
        .Virtual(ListLayout::ClearSlot, code(&RtlListClear))
        .Root(kVmtDestroy, code(&RtlListDestroy))
        .Build();
    HostClassBuilder(rtl_TObjectList_Class_Storage, "TObjectList")
        .Parent(&rtl_TList_ClassVar)
        .InstanceSize(ObjectListInstanceSize)
        .Virtual(ListLayout::NotifySlot, code(&RtlObjectListNotify))
        .Build();
    HostClassBuilder(rtl_TThreadList_Class_Storage, "TThreadList")
        .Parent(&rtl_TObject_ClassVar)
        .InstanceSize(ThreadListLayout::InstanceSize)
        .Root(kVmtDestroy, code(&RtlThreadListDestroy))
        .Build();
    HostClassBuilder(rtl_TInterfacedObject_Class_Storage, "TInterfacedObject")
        .Parent(&rtl_TObject_ClassVar)
        .InstanceSize(InterfacedLayout::InstanceSize)
        .Root(kVmtNewInstance, code(&RtlIntfNewInstance))
        .Root(kVmtAfterConstruction, code(&RtlIntfAfterConstruction))
        .Build();
    static const void* const unknownMethods[] = {code(&RtlIntfQueryInterface), code(&RtlIntfAddRef),
                                                 code(&RtlIntfRelease)};
    const InterfaceEntry unknownEntry = {
        IID_IInterface, MakeInterfaceMethods(InterfacedLayout::IInterfaceSlot, StubForm::StackByte, unknownMethods, 3),
        InterfacedLayout::IInterfaceSlot, 0};
    SetInterfaceTable(rtl_TInterfacedObject_Class, &unknownEntry, 1);

    HostClassBuilder(rtl_TInterfaceList_Class_Storage, "TInterfaceList")
        .Parent(&rtl_TInterfacedObject_ClassVar)
        .InstanceSize(InterfaceListLayout::InstanceSize)
        .Root(kVmtDestroy, code(&RtlIntfListDestroy))
        .Build();
    static const void* const listMethods[IInterfaceListSlot::Count] = {
        code(&RtlIntfQueryInterface), code(&RtlIntfAddRef),  code(&RtlIntfRelease),
        code(&RtlIntfListGet),        code(&RtlIntfListGetCapacity), code(&RtlIntfListGetCount),
        code(&RtlIntfListPut),        code(&RtlIntfListSetCapacity), code(&RtlIntfListSetCount),
        code(&RtlIntfListClear),      code(&RtlIntfListDelete),      code(&RtlIntfListExchange),
        code(&RtlIntfListFirst),      code(&RtlIntfListIndexOf),     code(&RtlIntfListAdd),
        code(&RtlIntfListInsert),     code(&RtlIntfListLast),        code(&RtlIntfListRemove),
        code(&RtlIntfListLock),       code(&RtlIntfListUnlock)};
    const InterfaceEntry listEntry = {
        IID_IInterfaceList,
        MakeInterfaceMethods(InterfaceListLayout::IInterfaceListSlot, StubForm::StackByte, listMethods,
                             IInterfaceListSlot::Count),
        InterfaceListLayout::IInterfaceListSlot, 0};
    SetInterfaceTable(rtl_TInterfaceList_Class, &listEntry, 1);

    HostClassBuilder(rtl_EListError_Class_Storage, "EListError").Parent(&rtl_Exception_ClassVar).Build();
    return true;
  }();
  return built;
}

namespace {
const bool kObjectModelBuilt = RtlObjectModelBuilt();
} // namespace
