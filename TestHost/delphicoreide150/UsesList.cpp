// TUsesList and its index by unit name, the host's way: a sorted array kept
// by Notify, one notification (and one scan to find the entry) per item
// when the list is cleared. The constructor is in UsesListCode.S.
#include <windows.h>

#include <algorithm>
#include <type_traits>
#include <vector>

#include "Common/HostClass.h"
#include "Common/HostRtl.h"
#include "Common/SearchedSites.h"
#include "UsesListDriver.h"
#include "coreide150/UsesEntryDriver.h"
#include "rtl150/ObjectModelDriver.h"

using namespace QmHost;
using namespace UsesListDriver;

QM_HOST_CLASS(delphicore_TUsesList_Class, 3);
QM_HOST_CLASS(delphicore_TUsesIndex_Class, 0);

extern "C" {
extern char delphicore_TUsesList_Class[] QM_HOST_SYMBOL(delphicore_TUsesList_Class);
extern char delphicore_TUsesIndex_Class[] QM_HOST_SYMBOL(delphicore_TUsesIndex_Class);
void* QM_HOST_REGISTER DelphiCoreUsesListCreate(void* classRef, std::int32_t alloc) QM_HOST_SYMBOL(DelphiCoreUsesListCreate);
void* QM_HOST_REGISTER DelphiCoreInternalFindFileEntry(void* list, const wchar_t* name, const wchar_t* fileName,
                                                       std::uint32_t matchName) QM_HOST_SYMBOL(DelphiCoreInternalFindFileEntry);
void* DelphiCoreUsesIndexClassVar QM_HOST_SYMBOL(DelphiCoreUsesIndexClassVar) = delphicore_TUsesIndex_Class;
}

namespace {

using HookFn = void(QM_HOST_REGISTER*)(void*);
using NewInstanceFn = void*(QM_HOST_REGISTER*)(void*);
using DestroyFn = void(QM_HOST_REGISTER*)(void*, int);

const HostRtl& Rtl() { return *LoadedHostRtl(); }

struct IndexEntry {
  wchar_t* name;  // a reference of the index's own
  void* entry;
};

struct UsesIndex {
  void* classRef;
  std::vector<IndexEntry>* entries;
  std::uint8_t sorted;
  std::uint8_t reserved[3];
  std::uint8_t duplicates;
};

struct Rtls {
  RtlObjects::SameTextFn sameText;
  RtlObjects::SameTextFn sameFileName;
  RtlObjects::StringFn expandUnc;
  RtlObjects::ListAddFn listAdd;
  RtlObjects::ListItemFn listRemove;
  DestroyFn listDestroy;
  void* listClass;
};
const Rtls& Use() {
  static const Rtls r = [] {
    namespace R = RtlObjects;
    HMODULE rtl = GetModuleHandleW(L"rtl150.bpl");
    Rtls x;
    x.sameText = R::Bind<R::SameTextFn>(rtl, R::Export::SameText);
    x.sameFileName = R::Bind<R::SameTextFn>(rtl, R::Export::SameFileName);
    x.expandUnc = R::Bind<R::StringFn>(rtl, R::Export::ExpandUNCFileName);
    x.listAdd = R::Bind<R::ListAddFn>(rtl, R::Export::ListAdd);
    x.listRemove = R::Bind<R::ListItemFn>(rtl, R::Export::ListRemove);
    x.listDestroy = R::Bind<DestroyFn>(rtl, "@Classes@TList@$bdtr$qqrv");
    x.listClass = R::ClassExport(rtl, R::Export::TListClass);
    return x;
  }();
  return r;
}

int Length(const wchar_t* s) { return s ? StrHeader(s)->length : 0; }

// The index's order: the user locale's comparison, case ignored.
int CompareNames(const wchar_t* a, const wchar_t* b) {
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a ? a : L"", Length(a), b ? b : L"", Length(b)) - 2;
}

UsesIndex* IndexOf(void* list) { return *reinterpret_cast<UsesIndex**>(static_cast<char*>(list) + Index); }

// The first position whose name is not below `name`.
std::size_t LowerBound(const std::vector<IndexEntry>& entries, const wchar_t* name) {
  std::size_t low = 0, high = entries.size();
  while (low < high) {
    std::size_t mid = (low + high) / 2;
    if (CompareNames(entries[mid].name, name) < 0)
      low = mid + 1;
    else
      high = mid;
  }
  return low;
}

// SameFilePath: two paths of which one starts with \\ are compared in
// their expanded forms; otherwise equal lengths and the same file name.
bool SameFilePath(const wchar_t* a, const wchar_t* b) {
  auto unc = [](const wchar_t* s) { return Length(s) > 2 && s[0] == L'\\' && s[1] == L'\\'; };
  if (Length(a) > 2 && Length(b) > 2 && (unc(a) || unc(b))) {
    wchar_t* x = nullptr;
    wchar_t* y = nullptr;
    Use().expandUnc(a, &x);
    Use().expandUnc(b, &y);
    bool same = Use().sameFileName(x, y);
    Rtl().Release(x);
    Rtl().Release(y);
    return same;
  }
  return Length(a) == Length(b) && Use().sameFileName(a, b);
}

void QM_HOST_REGISTER UsesIndexDestroy(UsesIndex* self, int outermost) {
  if (outermost & 0xFF) reinterpret_cast<HookFn>(VmtSlot(self->classRef, kVmtBeforeDestruction))(self);
  for (IndexEntry& e : *self->entries) Rtl().Release(e.name);
  delete self->entries;
  if (outermost & 0xFF) reinterpret_cast<HookFn>(VmtSlot(self->classRef, kVmtFreeInstance))(self);
}

void QM_HOST_REGISTER UsesListDestroy(void* self, int outermost) {
  void* classRef = *static_cast<void**>(self);
  if (outermost & 0xFF) reinterpret_cast<HookFn>(VmtSlot(classRef, kVmtBeforeDestruction))(self);
  Use().listDestroy(self, 0);  // TList.Destroy: the (virtual) Clear, then the item array
  Rtl().objectFree(IndexOf(self));
  if (outermost & 0xFF) reinterpret_cast<HookFn>(VmtSlot(classRef, kVmtFreeInstance))(self);
}

} // namespace

extern "C" {

void* QM_HOST_REGISTER DelphiCoreNewInstance(void* classRef) QM_HOST_SYMBOL(DelphiCoreNewInstance);
void* QM_HOST_REGISTER DelphiCoreNewInstance(void* classRef) {
  return reinterpret_cast<NewInstanceFn>(VmtSlot(classRef, kVmtNewInstance))(classRef);
}

void QM_HOST_REGISTER DelphiCoreAfterConstruction(void* self) QM_HOST_SYMBOL(DelphiCoreAfterConstruction);
void QM_HOST_REGISTER DelphiCoreAfterConstruction(void* self) {
  reinterpret_cast<HookFn>(VmtSlot(*static_cast<void**>(self), kVmtAfterConstruction))(self);
}

void* QM_HOST_REGISTER DelphiCoreUsesIndexCreate(void* classRef, std::int32_t alloc) QM_HOST_SYMBOL(DelphiCoreUsesIndexCreate);
void* QM_HOST_REGISTER DelphiCoreUsesIndexCreate(void* classRef, std::int32_t alloc) {
  auto* self = static_cast<UsesIndex*>((alloc & 0xFF) ? DelphiCoreNewInstance(classRef) : classRef);
  self->entries = new std::vector<IndexEntry>();
  if (alloc & 0xFF) DelphiCoreAfterConstruction(self);
  return self;
}

void QM_HOST_REGISTER DelphiCoreUsesIndexSetSorted(UsesIndex* self, std::int32_t sorted) QM_HOST_SYMBOL(DelphiCoreUsesIndexSetSorted);
void QM_HOST_REGISTER DelphiCoreUsesIndexSetSorted(UsesIndex* self, std::int32_t sorted) {
  self->sorted = (sorted & 0xFF) ? 1 : 0;
  if (self->sorted)
    std::stable_sort(self->entries->begin(), self->entries->end(),
                     [](const IndexEntry& a, const IndexEntry& b) { return CompareNames(a.name, b.name) < 0; });
}

// procedure TUsesList.Notify(Ptr: Pointer; Action: TListNotification).
void QM_HOST_REGISTER DelphiCoreUsesListNotify(void* list, void* entry, std::uint32_t action) QM_HOST_SYMBOL(DelphiCoreUsesListNotify);
void QM_HOST_REGISTER DelphiCoreUsesListNotify(void* list, void* entry, std::uint32_t action) {
  std::vector<IndexEntry>& entries = *IndexOf(list)->entries;
  switch (action & 0xFF) {
    case RtlObjects::lnAdded: {
      IndexEntry e{nullptr, entry};
      Rtl().ustrAsg(&e.name, UsesEntryDriver::UnitNameOf(entry));
      entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(LowerBound(entries, e.name)), e);
      break;
    }
    case RtlObjects::lnExtracted:
    case RtlObjects::lnDeleted:
      for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].entry != entry) continue;
        Rtl().Release(entries[i].name);
        entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
        break;
      }
      break;
  }
}

void* QM_HOST_REGISTER DelphiCoreInternalFindFileEntry(void* list, const wchar_t* name, const wchar_t* fileName,
                                                       std::uint32_t matchName) {
  const std::vector<IndexEntry>& entries = *IndexOf(list)->entries;
  for (std::size_t i = LowerBound(entries, name); i < entries.size() && CompareNames(entries[i].name, name) == 0; ++i) {
    void* entry = entries[i].entry;
    if (SameFilePath(fileName, UsesEntryDriver::FileNameOf(entry))) return entry;
    if ((matchName & 0xFF) && Use().sameText(UsesEntryDriver::UnitNameOf(entry), name)) return entry;
  }
  return nullptr;
}

// ---- driver ------------------------------------------------------------------------

void* __stdcall UsesListNew() { return DelphiCoreUsesListCreate(delphicore_TUsesList_Class, 1); }
std::int32_t __stdcall UsesListAdd(void* list, void* entry) { return Use().listAdd(list, entry); }
std::int32_t __stdcall UsesListRemove(void* list, void* entry) { return Use().listRemove(list, entry); }
std::int32_t __stdcall UsesListClear(void* list) {
  reinterpret_cast<HookFn>(VmtSlot(*static_cast<void**>(list), 4 * RtlObjects::ListLayout::ClearSlot))(list);
  return 0;
}
std::int32_t __stdcall UsesListCount(void* list) {
  return *reinterpret_cast<std::int32_t*>(static_cast<char*>(list) + RtlObjects::ListLayout::Count);
}
std::int32_t __stdcall UsesListFree(void* list) {
  Rtl().objectFree(list);
  return 0;
}
void* __stdcall UsesListFind(void* list, const wchar_t* name, const wchar_t* fileName, std::int32_t matchName) {
  wchar_t* n = Rtl().NewString(name ? name : L"");
  wchar_t* f = Rtl().NewString(fileName ? fileName : L"");
  void* entry = DelphiCoreInternalFindFileEntry(list, n, f, matchName ? 1 : 0);
  Rtl().Release(n);
  Rtl().Release(f);
  return entry;
}
void* __stdcall DelphiCorePatternSite(const char* site) {
  const SearchedSite* found = FindSearchedSite(site);
  return found ? found->Address : nullptr;
}

void* delphicore_TList_ClassVar QM_HOST_SYMBOL(delphicore_TList_ClassVar) = nullptr;

} // extern "C"

static_assert(std::is_same_v<decltype(&DelphiCoreUsesListCreate), CreateFn>, "Create");
static_assert(std::is_same_v<decltype(&DelphiCoreInternalFindFileEntry), InternalFindFileEntryFn>, "InternalFindFileEntry");
static_assert(std::is_same_v<decltype(&UsesListNew), NewFn>, "New");
static_assert(std::is_same_v<decltype(&UsesListAdd), ItemFn>, "Add");
static_assert(std::is_same_v<decltype(&UsesListClear), ListFn>, "Clear");
static_assert(std::is_same_v<decltype(&UsesListFind), FindFn>, "Find");
static_assert(std::is_same_v<decltype(&DelphiCorePatternSite), PatternSiteFn>, "PatternSite");

namespace {

void* g_objectClassVar = nullptr;

const bool kBuilt = [] {
  HMODULE rtl = GetModuleHandleW(L"rtl150.bpl");
  g_objectClassVar = RtlObjects::ClassExport(rtl, "@System@TObject@");
  delphicore_TList_ClassVar = RtlObjects::ClassExport(rtl, RtlObjects::Export::TListClass);
  HostClassBuilder(delphicore_TUsesList_Class_Storage, "TUsesList")
      .Parent(&delphicore_TList_ClassVar)
      .InstanceSize(InstanceSize)
      .Virtual(RtlObjects::ListLayout::NotifySlot, reinterpret_cast<const void*>(&DelphiCoreUsesListNotify))
      .Root(kVmtDestroy, reinterpret_cast<const void*>(&UsesListDestroy))
      .Build();
  HostClassBuilder(delphicore_TUsesIndex_Class_Storage, "TUsesIndex")
      .Parent(&g_objectClassVar)
      .InstanceSize(sizeof(UsesIndex))
      .Root(kVmtDestroy, reinterpret_cast<const void*>(&UsesIndexDestroy))
      .Build();
  return true;
}();

} // namespace
