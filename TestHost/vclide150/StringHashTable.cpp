// TCustomStringHashTable of the IDE's VCL package: buckets of chained
// entries in the run-time's memory, a hash function called the host's way
// (key in EAX) through the table's field, entries linked before "added" is
// notified. The constructor and Notify are in HashTableCode.S.
#include <windows.h>

#include <cstring>
#include <type_traits>

#include "Common/HostClass.h"
#include "Common/HostRtl.h"
#include "Common/SearchedSites.h"
#include "HashTableDriver.h"

using namespace QmHost;
using namespace HashTableDriver;

QM_HOST_CLASS(vclide_TCustomHashTable_Class, 0);
QM_HOST_CLASS(vclide_TCustomStringHashTable_Class, 0);

extern "C" {
extern char vclide_TCustomHashTable_Class[] QM_HOST_SYMBOL(vclide_TCustomHashTable_Class);
extern char vclide_TCustomStringHashTable_Class[] QM_HOST_SYMBOL(vclide_TCustomStringHashTable_Class);
extern std::int32_t VclIdeHashFieldOffset QM_HOST_SYMBOL(VclIdeHashFieldOffset);
void* QM_HOST_REGISTER VclIdeHashTableCreate(void* classRef, std::int32_t alloc, std::int32_t caseSensitive,
                                             double growth, std::uint32_t bucketCount) QM_HOST_SYMBOL(VclIdeHashTableCreate);
void QM_HOST_REGISTER VclIdeHashNotify(void* table, Entry* entry, std::uint32_t notification) QM_HOST_SYMBOL(VclIdeHashNotify);
}

namespace {

using NewInstanceFn = void*(QM_HOST_REGISTER*)(void* classRef);
using HookFn = void(QM_HOST_REGISTER*)(void* self);
using CompareFn = std::uint32_t(QM_HOST_REGISTER*)(const wchar_t* a, const wchar_t* b);

const HostRtl& Rtl() { return *LoadedHostRtl(); }

template <class T>
T& Field(void* table, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(table) + offset);
}

Entry**& Buckets(void* t) { return Field<Entry**>(t, Layout::Buckets); }
std::uint32_t& BucketCount(void* t) { return Field<std::uint32_t>(t, Layout::BucketCount); }
std::int32_t& Count(void* t) { return Field<std::int32_t>(t, Layout::Count); }
HashFn Hash(void* t) { return Field<HashFn>(t, VclIdeHashFieldOffset); }
CompareFn Compare(void* t) { return Field<CompareFn>(t, Layout::Compare); }

wchar_t Upper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 0x20) : c; }

} // namespace

extern "C" {

void* QM_HOST_REGISTER VclIdeHashTableNewInstance(void* classRef) QM_HOST_SYMBOL(VclIdeHashTableNewInstance);
void* QM_HOST_REGISTER VclIdeHashTableNewInstance(void* classRef) {
  return reinterpret_cast<NewInstanceFn>(VmtSlot(classRef, kVmtNewInstance))(classRef);
}

void QM_HOST_REGISTER VclIdeHashTableAfterConstruction(void* table) QM_HOST_SYMBOL(VclIdeHashTableAfterConstruction);
void QM_HOST_REGISTER VclIdeHashTableAfterConstruction(void* table) {
  reinterpret_cast<HookFn>(VmtSlot(*static_cast<void**>(table), kVmtAfterConstruction))(table);
}

void QM_HOST_REGISTER VclIdeHashTableInit(void* table, std::uint32_t bucketCount) QM_HOST_SYMBOL(VclIdeHashTableInit);
void QM_HOST_REGISTER VclIdeHashTableInit(void* table, std::uint32_t bucketCount) {
  if (bucketCount == 0) bucketCount = 1;
  Buckets(table) = static_cast<Entry**>(Rtl().getMem(static_cast<int>(bucketCount * sizeof(Entry*))));
  std::memset(Buckets(table), 0, bucketCount * sizeof(Entry*));
  BucketCount(table) = bucketCount;
  Count(table) = 0;
}

// The host's plain hashes: h := h * 2 + c.
std::uint32_t QM_HOST_REGISTER VclIdeHashTextCS(const wchar_t* key) QM_HOST_SYMBOL(VclIdeHashTextCS);
std::uint32_t QM_HOST_REGISTER VclIdeHashTextCS(const wchar_t* key) {
  std::uint32_t h = 0;
  for (const wchar_t* p = key; p && *p; ++p) h = h * 2 + *p;
  return h;
}

std::uint32_t QM_HOST_REGISTER VclIdeHashTextCI(const wchar_t* key) QM_HOST_SYMBOL(VclIdeHashTextCI);
std::uint32_t QM_HOST_REGISTER VclIdeHashTextCI(const wchar_t* key) {
  std::uint32_t h = 0;
  for (const wchar_t* p = key; p && *p; ++p) h = h * 2 + Upper(*p);
  return h;
}

std::uint32_t QM_HOST_REGISTER VclIdeCompareCS(const wchar_t* a, const wchar_t* b) QM_HOST_SYMBOL(VclIdeCompareCS);
std::uint32_t QM_HOST_REGISTER VclIdeCompareCS(const wchar_t* a, const wchar_t* b) {
  return lstrcmpW(a ? a : L"", b ? b : L"") == 0 ? 1 : 0;
}

std::uint32_t QM_HOST_REGISTER VclIdeCompareCI(const wchar_t* a, const wchar_t* b) QM_HOST_SYMBOL(VclIdeCompareCI);
std::uint32_t QM_HOST_REGISTER VclIdeCompareCI(const wchar_t* a, const wchar_t* b) {
  a = a ? a : L"";
  b = b ? b : L"";
  for (; *a && Upper(*a) == Upper(*b); ++a, ++b) {
  }
  return Upper(*a) == Upper(*b) ? 1 : 0;
}

void QM_HOST_REGISTER VclIdeHashNotifyImpl(void* table, Entry*, std::uint32_t) QM_HOST_SYMBOL(VclIdeHashNotifyImpl);
void QM_HOST_REGISTER VclIdeHashNotifyImpl(void* table, Entry*, std::uint32_t) {
  ++Field<std::int32_t>(table, Layout::Notifications);
}

void QM_HOST_REGISTER VclIdeHashAdd(void* table, const wchar_t* key, void* value) QM_HOST_SYMBOL(VclIdeHashAdd);
void QM_HOST_REGISTER VclIdeHashAdd(void* table, const wchar_t* key, void* value) {
  auto* entry = static_cast<Entry*>(Rtl().getMem(sizeof(Entry)));
  std::memset(entry, 0, sizeof(Entry));
  Rtl().ustrAsg(const_cast<wchar_t**>(&entry->Key), key);
  entry->Value = value;
  entry->Hash = Hash(table)(entry->Key);
  Entry*& bucket = Buckets(table)[entry->Hash % BucketCount(table)];
  entry->Next = bucket;
  bucket = entry;
  ++Count(table);
  VclIdeHashNotify(table, entry, 0);
}

void* QM_HOST_REGISTER VclIdeHashFind(void* table, const wchar_t* key) QM_HOST_SYMBOL(VclIdeHashFind);
void* QM_HOST_REGISTER VclIdeHashFind(void* table, const wchar_t* key) {
  std::uint32_t hash = Hash(table)(key);
  for (Entry* e = Buckets(table)[hash % BucketCount(table)]; e; e = e->Next)
    if (e->Hash == hash && Compare(table)(e->Key, key)) return e->Value;
  return nullptr;
}

std::uint32_t QM_HOST_REGISTER VclIdeHashRemove(void* table, const wchar_t* key) QM_HOST_SYMBOL(VclIdeHashRemove);
std::uint32_t QM_HOST_REGISTER VclIdeHashRemove(void* table, const wchar_t* key) {
  std::uint32_t hash = Hash(table)(key);
  for (Entry** link = &Buckets(table)[hash % BucketCount(table)]; *link; link = &(*link)->Next) {
    Entry* e = *link;
    if (e->Hash != hash || !Compare(table)(e->Key, key)) continue;
    *link = e->Next;
    --Count(table);
    VclIdeHashNotify(table, e, 1);
    Rtl().ustrClr(const_cast<wchar_t**>(&e->Key));
    Rtl().freeMem(e);
    return 1;
  }
  return 0;
}

// Every entry leaves with "removed" notified; the buckets stay.
void QM_HOST_REGISTER VclIdeHashClear(void* table) QM_HOST_SYMBOL(VclIdeHashClear);
void QM_HOST_REGISTER VclIdeHashClear(void* table) {
  for (std::uint32_t b = 0; b < BucketCount(table); ++b) {
    while (Entry* e = Buckets(table)[b]) {
      Buckets(table)[b] = e->Next;
      --Count(table);
      VclIdeHashNotify(table, e, 1);
      Rtl().ustrClr(const_cast<wchar_t**>(&e->Key));
      Rtl().freeMem(e);
    }
  }
}

void QM_HOST_REGISTER VclIdeHashDestroy(void* table, int outermost) QM_HOST_SYMBOL(VclIdeHashDestroy);
void QM_HOST_REGISTER VclIdeHashDestroy(void* table, int outermost) {
  void* classRef = *static_cast<void**>(table);
  if (outermost & 0xFF) reinterpret_cast<HookFn>(VmtSlot(classRef, kVmtBeforeDestruction))(table);
  VclIdeHashClear(table);
  Rtl().freeMem(Buckets(table));
  Buckets(table) = nullptr;
  if (outermost & 0xFF) reinterpret_cast<HookFn>(VmtSlot(classRef, kVmtFreeInstance))(table);
}

// ---- driver ----------------------------------------------------------------------

void* __stdcall VclIdeNewHashTable(std::int32_t caseSensitive, std::uint32_t bucketCount) {
  return VclIdeHashTableCreate(vclide_TCustomStringHashTable_Class, 1, caseSensitive, 1.0, bucketCount);
}

void __stdcall VclIdeFreeHashTable(void* table) { Rtl().objectFree(table); }

void __stdcall VclIdeHashChainStats(void* table, ChainStats* stats) {
  *stats = {};
  for (std::uint32_t b = 0; b < BucketCount(table); ++b) {
    std::uint32_t length = 0;
    for (Entry* e = Buckets(table)[b]; e; e = e->Next) ++length;
    if (length > stats->Longest) stats->Longest = length;
    if (length) ++stats->Used;
    stats->SumOfSquares += double(length) * double(length);
  }
}

void* __stdcall VclIdePatternSite(const char* site) {
  const SearchedSite* found = FindSearchedSite(site);
  return found ? found->Address : nullptr;
}

void* vclide_TObject_ClassVar QM_HOST_SYMBOL(vclide_TObject_ClassVar) = nullptr;
void* vclide_TCustomHashTable_ClassVar QM_HOST_SYMBOL(vclide_TCustomHashTable_ClassVar) = vclide_TCustomHashTable_Class;

} // extern "C"

static_assert(std::is_same_v<decltype(&VclIdeHashAdd), AddFn>, "Add");
static_assert(std::is_same_v<decltype(&VclIdeHashFind), FindFn>, "Find");
static_assert(std::is_same_v<decltype(&VclIdeHashRemove), RemoveFn>, "Remove");
static_assert(std::is_same_v<decltype(&VclIdeHashClear), ClearFn>, "Clear");
static_assert(std::is_same_v<decltype(&VclIdeHashTextCI), HashFn>, "hash");
static_assert(std::is_same_v<decltype(&VclIdeNewHashTable), NewTableFn>, "NewTable");
static_assert(std::is_same_v<decltype(&VclIdeHashChainStats), ChainStatsFn>, "ChainStats");

namespace {

// The classes derive from the run-time's TObject, read from its export.
const bool kClassesBuilt = [] {
  vclide_TObject_ClassVar = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"rtl150.bpl"), "@System@TObject@"));
  HostClassBuilder(vclide_TCustomHashTable_Class_Storage, "TCustomHashTable")
      .Parent(&vclide_TObject_ClassVar)
      .InstanceSize(Layout::InstanceSize)
      .Root(kVmtDestroy, reinterpret_cast<const void*>(&VclIdeHashDestroy))
      .Build();
  HostClassBuilder(vclide_TCustomStringHashTable_Class_Storage, "TCustomStringHashTable")
      .Parent(&vclide_TCustomHashTable_ClassVar)
      .Build();
  return true;
}();

} // namespace
