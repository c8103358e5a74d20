#include "Patches/IdeCollections/IDEInterfaceSpeedFix.h"

#include <cstring>

#include "Framework/HostFinally.h"
#include "Framework/HostObjectModel.h"
#include "Framework/PatchRegistry.h"
#include "Hooking/PatternSearch.h"
#include "Hooking/PointerHashTable.h"
#include "Patches/IdeCollections/IdeCollectionsPatterns.h"
#include "Patches/IdeCollections/IdeModules.h"

namespace Quillmend {

uint32_t PaletteSearchQueries = 0;

namespace {

const wchar_t* const CastReductionName = L"IDE.IntfCastReduction";
const wchar_t* const MoreSpeedName = L"IDE.IntfCastReduction.MoreSpeed";

using TListGet = void(QM_REGISTER*)(void* list, int32_t index, void** result);
using TListProc = void(QM_REGISTER*)(void* list);
using TSafeCast = void*(QM_REGISTER*)(void* intf, void* classRef);
using TCompareText = int32_t(QM_REGISTER*)(const wchar_t* a, const wchar_t* b);
using TStringMethod = void(QM_REGISTER*)(void* intf, wchar_t** result);
using TCountMethod = int32_t(QM_REGISTER*)(void* intf);
using TItemMethod = void(QM_REGISTER*)(void* intf, int32_t index, void** result);

// Published when "IDE.IntfCastReduction" commits.
struct TPaletteHost {
  int32_t ItemsOffset = 0;             // PaletteItemsOffset: the group's TInterfaceList field
  void* BaseItemClass = nullptr;       // TBasePaletteItem
  void* GroupClass = nullptr;          // TBasePaletteGroup
  void* RootClass = nullptr;           // TObject
  void* ListErrorClass = nullptr;      // EListError
  const THostResStringRec* ListIndexError = nullptr;
  TListGet ListGet = nullptr;          // TInterfaceList.Get
  TListProc ListLock = nullptr;
  TListProc ListUnlock = nullptr;
  TSafeCast SafeCast = nullptr;
  TCompareText CompareFileName = nullptr;  // AnsiCompareFileName
};
TPaletteHost g_host;
// "IDE.IntfCastReduction.MoreSpeed" applied: items read without the lock.
bool g_threadUnsafeItems = false;

constexpr int32_t ManagerRootGroup = 4;  // the palette manager's root group field
constexpr int32_t PaletteItemName = 16;  // a TBasePaletteItem's name field
constexpr uint32_t NotFixed = 0xFFFF;

[[noreturn]] void RaiseListIndexError(int32_t index) {
  RaiseHostExceptionOf(g_host.ListErrorClass, FormatHostInt(LoadHostResString(g_host.ListIndexError), index));
}

// GetItemThreadUnsafe: the list's item array and count read directly.
void GetItemThreadUnsafe(void* list, int32_t index, void** result) {
  void* items = HostInterfaceListInner(list);
  if (index < 0 || index >= HostListCount(items)) RaiseListIndexError(index);
  HostIntfAssign(result, HostListItems(items)[index]);
}

void QM_REGISTER GetItemReplacement(void* group, int32_t index, void** result) {
  void* list = *reinterpret_cast<void**>(static_cast<char*>(group) + g_host.ItemsOffset);
  if (!list) RaiseListIndexError(index);
  if (g_threadUnsafeItems)
    GetItemThreadUnsafe(list, index, result);
  else
    g_host.ListGet(list, index, result);
}

// Equal ignoring ASCII case, as the run-time's SameText.
bool SameText(const wchar_t* a, const wchar_t* b) {
  int32_t length = HostStringLength(a);
  if (length != HostStringLength(b)) return false;
  for (int32_t i = 0; i < length; ++i) {
    wchar_t x = a[i], y = b[i];
    if (x >= L'a' && x <= L'z') x = wchar_t(x - 0x20);
    if (y >= L'a' && y <= L'z') y = wchar_t(y - 0x20);
    if (x != y) return false;
  }
  return true;
}

// One search: its mode, what it looks for, the class offsets it learned and
// the references it holds (released by the search's cleanup whatever happens).
struct TSearch {
  const wchar_t* Name;
  const wchar_t* Qualifier;
  int Mode;  // 0: the group only; 1: sub-groups too; 2: as 1, answering the group
  void** Result;
  TPointerHashTable Offsets;  // PaletteClassOffsets
  std::vector<void*> Held;
  // The last class looked up: neighbouring items are mostly of one class.
  void* LastClass = nullptr;
  uint32_t LastOffsets = 0;
  bool LastNameDirect = false;

  void* Hold(void* intf) {
    if (intf) Held.push_back(intf);
    return intf;
  }
  void Drop(void* intf) {
    if (!intf) return;
    for (size_t i = Held.size(); i-- > 0;)
      if (Held[i] == intf) {
        Held.erase(Held.begin() + ptrdiff_t(i));
        break;
      }
    HostIntfRelease(intf);
  }
  void* Query(void* intf, const GUID& iid) {
    void* out = nullptr;
    ++PaletteSearchQueries;
    HostIntfQuery(intf, iid, &out);
    return Hold(out);
  }
  // Texts from the host are released at once; a host exception between leaves one behind.
  bool NameMatches(void* intf) {
    THostStringVar name;
    HostIntfMethod<TStringMethod>(intf, PaletteMethod::ItemName)(intf, name.Ref());
    return SameText(name.Get(), Name);
  }
  bool QualifierMatches(void* itemIntf) {
    THostStringVar qualifier;
    HostIntfMethod<TStringMethod>(itemIntf, PaletteMethod::Qualifier)(itemIntf, qualifier.Ref());
    return g_host.CompareFileName(qualifier.Get(), Qualifier) == 0;
  }
  // The match: the item, or in mode 2 the group searched (as a group interface).
  void Answer(void* item, void* groupRef) {
    if (Mode != 2) {
      HostIntfAssign(Result, item);
      return;
    }
    void* group = Query(groupRef, PaletteGroupIid);
    HostIntfAssign(Result, group ? group : groupRef);
    Drop(group);
  }
};

bool SearchHostGroup(TSearch& s, void* groupObject, void* groupRef);

// A group reached through an interface: searched as a host group when it is
// exactly one, otherwise by its own methods.
bool SearchGroupIntf(TSearch& s, void* group) {
  void* object = InterfaceToObject(group);
  if (object && HostClassOf(object) == g_host.GroupClass) return SearchHostGroup(s, object, group);
  int32_t count = HostIntfMethod<TCountMethod>(group, PaletteMethod::Count)(group);
  for (int32_t i = 0; i < count; ++i) {
    void* item = nullptr;
    HostIntfMethod<TItemMethod>(group, PaletteMethod::Item)(group, i, &item);
    s.Hold(item);
    if (!item) continue;
    bool found = false;
    if (s.NameMatches(item)) {
      if (void* component = s.Query(item, ComponentPaletteItemIid)) {
        if (s.QualifierMatches(component)) {
          s.Answer(item, group);
          found = true;
        }
        s.Drop(component);
      }
    }
    if (!found && s.Mode != 0) {
      if (void* subGroup = s.Query(item, PaletteGroupIid)) {
        found = SearchGroupIntf(s, subGroup);
        s.Drop(subGroup);
      }
    }
    s.Drop(item);
    if (found) return true;
  }
  return false;
}

// The interface of an object at a cached offset (no reference counted), or
// asked for (a reference held) when the offset is not fixed.
void* InterfaceAt(TSearch& s, void* object, void* item, uint32_t offset, const GUID& iid) {
  if (offset == NotFixed) return s.Query(item, iid);
  return static_cast<char*>(object) + offset;
}

void DropIfAsked(TSearch& s, void* intf, uint32_t offset) {
  if (offset == NotFixed) s.Drop(intf);
}

// Where a class keeps an interface: the difference between the reference
// and the object when the reference leads back to the object; NotFixed when
// it does not; 0 when the class does not support it.
uint32_t OffsetOf(TSearch& s, void* item, void* object, const GUID& iid) {
  void* intf = s.Query(item, iid);
  if (!intf) return 0;
  uint32_t offset = NotFixed;
  if (InterfaceToObject(intf) == object) {
    uintptr_t difference = uintptr_t(intf) - uintptr_t(object);
    offset = difference < NotFixed ? uint32_t(difference) : NotFixed;
  }
  s.Drop(intf);
  return offset;
}

bool IsPaletteItemClass(void* classRef) {
  void* parent = HostClassParent(classRef);
  return parent && (parent == g_host.BaseItemClass || HostClassParent(parent) == g_host.BaseItemClass);
}

// One item of a host group's list (under the list's lock).
bool SearchHostItem(TSearch& s, void* item, void* groupRef) {
  void* object = InterfaceToObject(item);
  if (!object) {
    bool found = false;
    if (s.NameMatches(item)) {
      if (void* component = s.Query(item, ComponentPaletteItemIid)) {
        if (s.QualifierMatches(component)) {
          s.Answer(item, groupRef);
          found = true;
        }
        s.Drop(component);
      }
    }
    if (!found && s.Mode != 0) {
      if (void* subGroup = s.Query(item, PaletteGroupIid)) {
        found = SearchGroupIntf(s, subGroup);
        s.Drop(subGroup);
      }
    }
    return found;
  }
  void* classRef = HostClassOf(object);
  if (classRef == g_host.GroupClass) return s.Mode != 0 && SearchHostGroup(s, object, item);
  if (classRef != s.LastClass) {
    void* cached = nullptr;
    uint32_t offsets;
    if (s.Offsets.TryGetValue(classRef, cached)) {
      offsets = uint32_t(uintptr_t(cached));
    } else {
      offsets = OffsetOf(s, item, object, ComponentPaletteItemIid) | OffsetOf(s, item, object, PaletteGroupIid) << 16;
      s.Offsets.AddOrSetValue(classRef, reinterpret_cast<void*>(uintptr_t(offsets)));
    }
    s.LastClass = classRef;
    s.LastOffsets = offsets;
    s.LastNameDirect = IsPaletteItemClass(classRef);
  }
  const uint32_t itemOffset = s.LastOffsets & 0xFFFF, groupOffset = s.LastOffsets >> 16;
  if (itemOffset) {
    bool nameMatches = s.LastNameDirect
                           ? SameText(*reinterpret_cast<wchar_t**>(static_cast<char*>(object) + PaletteItemName), s.Name)
                           : s.NameMatches(item);
    if (nameMatches) {
      void* component = InterfaceAt(s, object, item, itemOffset, ComponentPaletteItemIid);
      bool matches = component && s.QualifierMatches(component);
      DropIfAsked(s, component, itemOffset);
      if (matches) {
        s.Answer(item, groupRef);
        return true;
      }
    }
  }
  if (s.Mode != 0 && groupOffset) {
    void* subGroup = InterfaceAt(s, object, item, groupOffset, PaletteGroupIid);
    bool found = subGroup && SearchGroupIntf(s, subGroup);
    DropIfAsked(s, subGroup, groupOffset);
    return found;
  }
  return false;
}

// A host group's items in order, under its list's lock; the lock is given
// back also when a host exception passes.
bool SearchHostGroup(TSearch& s, void* groupObject, void* groupRef) {
  void* list = *reinterpret_cast<void**>(static_cast<char*>(groupObject) + g_host.ItemsOffset);
  if (!list) return false;
  bool found = false;
  g_host.ListLock(list);
  HostTryFinally(
      [&] {
        void* items = HostInterfaceListInner(list);
        for (int32_t i = 0; i < HostListCount(items) && !found; ++i)
          if (void* item = HostListItems(items)[i]) found = SearchHostItem(s, item, groupRef);
      },
      [&]() noexcept { g_host.ListUnlock(list); });
  return found;
}

// Runs one search from `start` (or the manager's root group); the result
// variable is nil'ed when nothing matches.
void RunSearch(void* manager, const wchar_t* name, const wchar_t* qualifier, int mode, void* start, void** result) {
  if (!start) start = *reinterpret_cast<void**>(static_cast<char*>(manager) + ManagerRootGroup);
  TSearch* search = new TSearch{name, qualifier, mode, result, TPointerHashTable(0), {}, nullptr, 0, false};
  bool found = false;
  HostTryFinally([&] { found = start && SearchGroupIntf(*search, start); },
                 [&]() noexcept {
                   for (void* intf : search->Held) HostIntfRelease(intf);
                   delete search;
                 });
  if (!found) HostIntfAssign(result, nullptr);
}

void QM_REGISTER FindItemReplacement(void* manager, const wchar_t* name, const wchar_t* qualifier, void** result,
                                     void* group, uint32_t recursive) {
  HostBoundary([&] { RunSearch(manager, name, qualifier, (recursive & 0xFF) ? 1 : 0, group, result); });
}

void QM_REGISTER FindItemGroupReplacement(void* manager, const wchar_t* name, const wchar_t* qualifier,
                                          void** result) {
  HostBoundary([&] { RunSearch(manager, name, qualifier, 2, nullptr, result); });
}

TPatchPlan CastReductionPlan(TSiteRef* clearSite = nullptr) {
  namespace E = IdeExports;
  TPatchPlan plan(CastReductionName, L"Reduce unnecessary calls to IntfCast", TInstallMoment::UnitInit);
  TSiteRef clearExport = plan.Export(L"TBasePaletteGroup.Clear", E::CoreIde, "@Palmgr@TBasePaletteGroup@Clear$qqrv");
  TSiteRef clear =
      plan.PatternFrom(L"TBasePaletteGroup.Clear", clearExport, 0, IdeCollectionsPatterns::PaletteGroupClear, 1);
  if (clearSite) *clearSite = clear;
  TCaptureRef itemsOffset = plan.Compute([clear](const TPlanValues& v) { return uintptr_t(*v.At(clear, 5)); });
  TSiteRef baseItem = plan.Export(L"TBasePaletteItem", E::CoreIde, "@Palmgr@TBasePaletteItem@");
  TSiteRef groupClass = plan.Export(L"TBasePaletteGroup", E::CoreIde, "@Palmgr@TBasePaletteGroup@");
  TSiteRef findItem = plan.Export(L"FindItem", E::DelphiCoreIde,
                                  "@Comppalmgr@TComponentPaletteManager@FindItem$qqrx20System@UnicodeStringt1ox55"
                                  "System@%DelphiInterface$t27Paletteapi@IOTAPaletteGroup%");
  TSiteRef findItemGroup = plan.Export(L"FindItemGroup", E::DelphiCoreIde,
                                       "@Comppalmgr@TComponentPaletteManager@FindItemGroup$qqrx20System@UnicodeStringt1");
  TSiteRef getItem = plan.Export(L"GetItem", E::CoreIde, "@Palmgr@TBasePaletteGroup@GetItem$qqrxi");
  TSiteRef root = plan.Export(L"TObject", E::Rtl, E::TObjectClass);
  TSiteRef listError = plan.Export(L"EListError", E::Rtl, E::EListErrorClass);
  TSiteRef indexError = plan.Export(L"SListIndexError", E::Rtl, E::SListIndexError);
  TSiteRef listGet = plan.Export(L"TInterfaceList.Get", E::Rtl, E::InterfaceListGet);
  TSiteRef listLock = plan.Export(L"TInterfaceList.Lock", E::Rtl, E::InterfaceListLock);
  TSiteRef listUnlock = plan.Export(L"TInterfaceList.Unlock", E::Rtl, E::InterfaceListUnlock);
  TSiteRef safeCast = plan.Export(L"SafeIntfAsClass", E::Rtl, E::SafeIntfAsClass);
  TSiteRef compareFileName = plan.Export(L"AnsiCompareFileName", E::Rtl, E::AnsiCompareFileName);
  plan.Redirect(findItem, &FindItemReplacement);
  plan.Redirect(findItemGroup, &FindItemGroupReplacement);
  plan.Redirect(getItem, &GetItemReplacement);
  plan.OnCommit([=](const TPlanValues& v) {
    g_host.ItemsOffset = int32_t(v.Value(itemsOffset));
    g_host.BaseItemClass = v.Site(baseItem);
    g_host.GroupClass = v.Site(groupClass);
    g_host.RootClass = v.Site(root);
    g_host.ListErrorClass = v.Site(listError);
    g_host.ListIndexError = reinterpret_cast<const THostResStringRec*>(v.Site(indexError));
    g_host.ListGet = reinterpret_cast<TListGet>(v.Site(listGet));
    g_host.ListLock = reinterpret_cast<TListProc>(v.Site(listLock));
    g_host.ListUnlock = reinterpret_cast<TListProc>(v.Site(listUnlock));
    g_host.SafeCast = reinterpret_cast<TSafeCast>(v.Site(safeCast));
    g_host.CompareFileName = reinterpret_cast<TCompareText>(v.Site(compareFileName));
    g_threadUnsafeItems = false;
  });
  return plan;
}

// Applied only on top of "IDE.IntfCastReduction": item access then skips the lock.
TPatchPlan MoreSpeedPlan() {
  TPatchPlan plan(MoreSpeedName, L"Uses TInterfaceList.GetThreadUnsafe for TBasePaletteGroup.GetItem",
                  TInstallMoment::UnitInit);
  plan.Needs({CastReductionName});
  // Registered inside its parent's installation only once the group's
  // routine is found; without it this host has no such patch.
  plan.IgnoreUnless(L"TBasePaletteGroup.Clear: pattern not found", [] {
    HMODULE coreIde = ResolvePlanModule(IdeExports::CoreIde);
    void* clear = coreIde ? ResolvePlanExport(coreIde, "@Palmgr@TBasePaletteGroup@Clear$qqrv") : nullptr;
    return clear && FindMethodPtr(clear, ParsePattern(IdeCollectionsPatterns::PaletteGroupClear), 1);
  });
  plan.OnCommit([](const TPlanValues&) { g_threadUnsafeItems = true; });
  plan.OnRollback([] { g_threadUnsafeItems = false; });
  return plan;
}

void FinalizeInterfaceSpeedFix() {
  g_threadUnsafeItems = false;
  g_host = TPaletteHost();
}

}  // namespace

void* InterfaceToObject(void* intf) {
  if (!intf) return nullptr;
  auto* code = static_cast<const uint8_t*>(HostIntfMethods(intf)[0]);
  if (!code) return nullptr;
  auto* base = static_cast<char*>(intf);
  int32_t value;
  if (code[0] == 0x83 && code[1] == 0x44 && code[2] == 0x24 && code[3] == 0x04) return base + int8_t(code[4]);
  if (code[0] == 0x81 && code[1] == 0x44 && code[2] == 0x24 && code[3] == 0x04) {
    std::memcpy(&value, code + 4, 4);
    return base + value;
  }
  if (code[0] == 0x83 && code[1] == 0xC0) return base + int8_t(code[2]);
  if (code[0] == 0x05) {
    std::memcpy(&value, code + 1, 4);
    return base + value;
  }
  if (code[0] == 0x55 && code[1] == 0x8B && code[2] == 0xEC && g_host.SafeCast)
    return g_host.SafeCast(intf, g_host.RootClass);
  return nullptr;
}

std::vector<TPatchPlan> InterfaceSpeedFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(CastReductionPlan());
  plans.push_back(MoreSpeedPlan());
  return plans;
}

void InstallInterfaceSpeedFix() {
  TSiteRef clear;
  TPatchPlan plan = CastReductionPlan(&clear);
  TPlanVerdict verdict = InstallPlanVerdict(plan);
  // Disabled, or its routine not found: "MoreSpeed" is not even registered.
  if (!verdict.Registered || !verdict.Values.Site(clear)) return;
  TPatchPlan moreSpeed = MoreSpeedPlan();
  InstallPlan(moreSpeed);
}

const TUnitInfo Unit_IDEInterfaceSpeedFix = {"IDEInterfaceSpeedFix", &InstallInterfaceSpeedFix,
                                             &FinalizeInterfaceSpeedFix, &InterfaceSpeedFixPlans};

}  // namespace Quillmend
