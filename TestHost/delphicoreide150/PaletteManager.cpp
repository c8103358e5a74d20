// TComponentPaletteManager: FindItem and FindItemGroup the host's way (every
// item cast by QueryInterface, then its name read), and the palette
// services the IDE offers its experts.
#include <windows.h>

#include <type_traits>

#include "Common/HostClass.h"
#include "Common/HostRtl.h"
#include "PaletteManagerDriver.h"
#include "coreide150/PaletteDriver.h"
#include "rtl150/ObjectModelDriver.h"

using namespace QmHost;
using namespace PaletteManagerDriver;

QM_HOST_CLASS(delphicore_TComponentPaletteManager_Class, 0);

extern "C" {
extern char delphicore_TComponentPaletteManager_Class[] QM_HOST_SYMBOL(delphicore_TComponentPaletteManager_Class);
}

namespace {

using QueryFn = HRESULT(__stdcall*)(void*, const GUID*, void**);
using RefFn = ULONG(__stdcall*)(void*);
using StringMethodFn = void(QM_HOST_REGISTER*)(void* intf, wchar_t** result);
using CountMethodFn = std::int32_t(QM_HOST_REGISTER*)(void* intf);
using ItemMethodFn = void(QM_HOST_REGISTER*)(void* intf, std::int32_t index, void** result);

const HostRtl& Rtl() { return *LoadedHostRtl(); }

template <class Fn>
Fn Method(void* intf, int index) {
  return reinterpret_cast<Fn>((*static_cast<void* const* const*>(intf))[index]);
}
void AddRef(void* intf) {
  if (intf) Method<RefFn>(intf, 1)(intf);
}
void Release(void* intf) {
  if (intf) Method<RefFn>(intf, 2)(intf);
}
void* Query(void* intf, const GUID& iid) {
  void* out = nullptr;
  if (Method<QueryFn>(intf, 0)(intf, &iid, &out) != S_OK) return nullptr;
  return out;
}
void Assign(void** variable, void* value) {
  AddRef(value);
  void* old = *variable;
  *variable = value;
  Release(old);
}

struct Texts {
  RtlObjects::SameTextFn sameText;
  RtlObjects::CompareTextFn compareFileName;
};
const Texts& Text() {
  static const Texts texts = [] {
    HMODULE rtl = GetModuleHandleW(L"rtl150.bpl");
    return Texts{RtlObjects::Bind<RtlObjects::SameTextFn>(rtl, RtlObjects::Export::SameText),
                 RtlObjects::Bind<RtlObjects::CompareTextFn>(rtl, RtlObjects::Export::AnsiCompareFileName)};
  }();
  return texts;
}

// Mode 0: this group only; 1: and its sub-groups; 2: as 1, answering the group.
bool Search(void* group, const wchar_t* name, const wchar_t* qualifier, int mode, void** result) {
  using namespace PaletteDriver;
  std::int32_t count = Method<CountMethodFn>(group, Slot::Count)(group);
  for (std::int32_t i = 0; i < count; ++i) {
    void* item = nullptr;
    Method<ItemMethodFn>(group, Slot::Item)(group, i, &item);
    if (!item) continue;
    // Every item is cast to the component item interface first; only a
    // component's name and unit count.
    bool matched = false;
    if (void* component = Query(item, IID_ComponentItem)) {
      wchar_t* itemName = nullptr;
      Method<StringMethodFn>(component, Slot::Name)(component, &itemName);
      if (Text().sameText(itemName, name)) {
        wchar_t* unitName = nullptr;
        Method<StringMethodFn>(component, Slot::UnitName)(component, &unitName);
        matched = Text().compareFileName(unitName, qualifier) == 0;
        Rtl().Release(unitName);
      }
      Rtl().Release(itemName);
      Release(component);
    }
    if (matched) {
      Assign(result, mode == 2 ? group : item);
      Release(item);
      return true;
    }
    if (mode != 0) {
      if (void* subGroup = Query(item, IID_Group)) {
        bool found = Search(subGroup, name, qualifier, mode, result);
        Release(subGroup);
        if (found) {
          Release(item);
          return true;
        }
      }
    }
    Release(item);
  }
  return false;
}

void* g_activeManager = nullptr;

} // namespace

extern "C" {

void QM_HOST_REGISTER DelphiCoreFindItem(void* manager, const wchar_t* name, const wchar_t* qualifier, void** result,
                                         void* group, std::uint32_t recursive) QM_HOST_SYMBOL(DelphiCoreFindItem);
void QM_HOST_REGISTER DelphiCoreFindItem(void* manager, const wchar_t* name, const wchar_t* qualifier, void** result,
                                         void* group, std::uint32_t recursive) {
  void* start = group ? group : *reinterpret_cast<void**>(static_cast<char*>(manager) + RootGroup);
  if (!start || !Search(start, name, qualifier, (recursive & 0xFF) ? 1 : 0, result)) Assign(result, nullptr);
}

void QM_HOST_REGISTER DelphiCoreFindItemGroup(void* manager, const wchar_t* name, const wchar_t* qualifier,
                                              void** result) QM_HOST_SYMBOL(DelphiCoreFindItemGroup);
void QM_HOST_REGISTER DelphiCoreFindItemGroup(void* manager, const wchar_t* name, const wchar_t* qualifier,
                                              void** result) {
  void* start = *reinterpret_cast<void**>(static_cast<char*>(manager) + RootGroup);
  if (!start || !Search(start, name, qualifier, 2, result)) Assign(result, nullptr);
}

void* __stdcall PaletteManagerNew(void* rootGroup) {
  auto* self = static_cast<void**>(Rtl().getMem(8));
  self[0] = delphicore_TComponentPaletteManager_Class;
  self[1] = nullptr;
  Assign(&self[1], rootGroup);
  g_activeManager = self;
  return self;
}

void __stdcall PaletteManagerFree(void* manager) {
  if (!manager) return;
  if (g_activeManager == manager) g_activeManager = nullptr;
  Release(static_cast<void**>(manager)[1]);
  Rtl().freeMem(manager);
}

} // extern "C"

namespace {

// The palette services object: IUnknown, then method 4 = the base group.
struct ServicesObject {
  const void* const* methods;
};

HRESULT __stdcall ServicesQuery(ServicesObject* self, const GUID* iid, void** out) {
  if (IsEqualGUID(*iid, PaletteDriver::IID_PaletteServices) || IsEqualGUID(*iid, RtlObjects::IID_IInterface)) {
    *out = self;
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}
ULONG __stdcall ServicesRef(ServicesObject*) { return 1; }
std::uint32_t QM_HOST_REGISTER ServicesReserved(ServicesObject*) { return 0; }
void QM_HOST_REGISTER ServicesBaseGroup(ServicesObject*, void** result) {
  Assign(result, g_activeManager ? static_cast<void**>(g_activeManager)[1] : nullptr);
}

const void* const g_servicesMethods[] = {
    reinterpret_cast<const void*>(&ServicesQuery), reinterpret_cast<const void*>(&ServicesRef),
    reinterpret_cast<const void*>(&ServicesRef), reinterpret_cast<const void*>(&ServicesReserved),
    reinterpret_cast<const void*>(&ServicesBaseGroup)};
ServicesObject g_services = {g_servicesMethods};

void* g_objectClassVar = nullptr;

const bool kBuilt = [] {
  g_objectClassVar = RtlObjects::ClassExport(GetModuleHandleW(L"rtl150.bpl"), "@System@TObject@");
  HostClassBuilder(delphicore_TComponentPaletteManager_Class_Storage, "TComponentPaletteManager")
      .Parent(&g_objectClassVar)
      .InstanceSize(8)
      .Build();
  return true;
}();

} // namespace

extern "C" void* __stdcall PaletteServicesRoot() { return &g_services; }

static_assert(std::is_same_v<decltype(&DelphiCoreFindItem), FindItemFn>, "FindItem");
static_assert(std::is_same_v<decltype(&DelphiCoreFindItemGroup), FindItemGroupFn>, "FindItemGroup");
static_assert(std::is_same_v<decltype(&PaletteManagerNew), NewManagerFn>, "NewManager");
static_assert(std::is_same_v<decltype(&PaletteServicesRoot), ServicesFn>, "Services");
