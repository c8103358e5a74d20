// The component palette's objects: items and groups in the host class
// layout over the run-time's TInterfacedObject, each class implementing the
// palette interfaces through adjustment stubs of its own form
// (Common/InterfaceStubs.h), QueryInterface counted. TBasePaletteGroup keeps
// its items in a TInterfaceList; GetItem reads it through the list's Get.
#include <windows.h>

#include <cstring>
#include <type_traits>
#include <vector>

#include "Common/HostClass.h"
#include "Common/HostRtl.h"
#include "Common/InterfaceStubs.h"
#include "Common/SearchedSites.h"
#include "PaletteDriver.h"
#include "rtl150/ObjectModelDriver.h"

using namespace QmHost;
using namespace PaletteDriver;

QM_HOST_CLASS(coreide_TBasePaletteItem_Class, 0);
QM_HOST_CLASS(coreide_TComponentPaletteItem_Class, 0);
QM_HOST_CLASS(coreide_TWideComponentItem_Class, 0);
QM_HOST_CLASS(coreide_TRegisterStubItem_Class, 0);
QM_HOST_CLASS(coreide_TRegisterWideItem_Class, 0);
QM_HOST_CLASS(coreide_TForeignPaletteItem_Class, 0);
QM_HOST_CLASS(coreide_TOpaquePaletteItem_Class, 0);
QM_HOST_CLASS(coreide_TBasePaletteGroup_Class, 0);
QM_HOST_CLASS(coreide_TCustomPaletteGroup_Class, 0);

extern "C" {
extern char coreide_TBasePaletteItem_Class[] QM_HOST_SYMBOL(coreide_TBasePaletteItem_Class);
extern char coreide_TComponentPaletteItem_Class[] QM_HOST_SYMBOL(coreide_TComponentPaletteItem_Class);
extern char coreide_TWideComponentItem_Class[] QM_HOST_SYMBOL(coreide_TWideComponentItem_Class);
extern char coreide_TRegisterStubItem_Class[] QM_HOST_SYMBOL(coreide_TRegisterStubItem_Class);
extern char coreide_TRegisterWideItem_Class[] QM_HOST_SYMBOL(coreide_TRegisterWideItem_Class);
extern char coreide_TForeignPaletteItem_Class[] QM_HOST_SYMBOL(coreide_TForeignPaletteItem_Class);
extern char coreide_TOpaquePaletteItem_Class[] QM_HOST_SYMBOL(coreide_TOpaquePaletteItem_Class);
extern char coreide_TBasePaletteGroup_Class[] QM_HOST_SYMBOL(coreide_TBasePaletteGroup_Class);
extern char coreide_TCustomPaletteGroup_Class[] QM_HOST_SYMBOL(coreide_TCustomPaletteGroup_Class);
extern void* CoreIdeIntfListClearPtr QM_HOST_SYMBOL(CoreIdeIntfListClearPtr);
void QM_HOST_REGISTER CoreIdePaletteGroupClear(void* group) QM_HOST_SYMBOL(CoreIdePaletteGroupClear);
}

bool HostClassInheritsFrom(void* classRef, void* ancestor);

namespace {

// Instance layouts of the classes (our choice): where each keeps its item
// or group interface slot, and its size.
constexpr int BaseItemSlot = 28, BaseItemSize = 32;
constexpr int ComponentSlot = 36, ComponentSize = 40;
constexpr int WideSlot = 240, WideSize = 244;
constexpr int RegisterSlot = 40, RegisterSize = 44;
constexpr int RegisterWideSlot = 244, RegisterWideSize = 248;
constexpr int GroupSlot = 36, GroupSize = 40;

const HostRtl& Rtl() { return *LoadedHostRtl(); }
HMODULE RtlModule() { return GetModuleHandleW(L"rtl150.bpl"); }

struct RtlCalls {
  RtlObjects::GetInterfaceFn getInterface;
  RtlObjects::IntfListGetFn listGet;
  RtlObjects::IntfListItemFn listAdd;
  RtlObjects::IntfListCountFn listCount;
  RtlObjects::CreateFn listCreate;
  void* listClass;
  const void* addRef;
  const void* release;
};

const RtlCalls& Calls() {
  static const RtlCalls calls = [] {
    namespace R = RtlObjects;
    HMODULE rtl = RtlModule();
    RtlCalls c;
    c.getInterface = R::Bind<R::GetInterfaceFn>(rtl, R::Export::GetInterface);
    c.listGet = R::Bind<R::IntfListGetFn>(rtl, R::Export::InterfaceListGet);
    c.listAdd = R::Bind<R::IntfListItemFn>(rtl, R::Export::InterfaceListAdd);
    c.listCount = R::Bind<R::IntfListCountFn>(rtl, R::Export::InterfaceListGetCount);
    c.listCreate = R::Bind<R::CreateFn>(rtl, R::Export::InterfaceListCreate);
    c.listClass = R::ClassExport(rtl, R::Export::TInterfaceListClass);
    c.addRef = R::Bind<const void*>(rtl, R::Export::IntfAddRef);
    c.release = R::Bind<const void*>(rtl, R::Export::IntfRelease);
    return c;
  }();
  return calls;
}

volatile LONG g_queries = 0;
volatile LONG g_clears = 0;

template <class T>
T& Field(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

void StoreString(wchar_t** result, const wchar_t* value) { Rtl().ustrAsg(result, value); }

void RaiseIfAsked(void* self) {
  if (Field<std::uint8_t>(self, ItemLayout::RaiseOnRead)) {
    void* error = Rtl().NewException(L"Palette item cannot be read");
    Rtl().raiseExcept(error);
  }
}

// ---- interface methods (EAX = the object) ----------------------------------------------

HRESULT __stdcall PaletteQueryInterface(void* self, const GUID* iid, void** out) {
  InterlockedIncrement(&g_queries);
  return Calls().getInterface(self, iid, out) ? S_OK : E_NOINTERFACE;
}
std::uint32_t QM_HOST_REGISTER ItemCanDelete(void*) { return 0; }
std::uint32_t QM_HOST_REGISTER ItemEnabled(void*) { return 1; }
void QM_HOST_REGISTER ItemHelpName(void* self, wchar_t** result) { StoreString(result, Field<wchar_t*>(self, ItemLayout::HelpName)); }
void QM_HOST_REGISTER ItemName(void* self, wchar_t** result) {
  RaiseIfAsked(self);
  StoreString(result, Field<wchar_t*>(self, ItemLayout::Name));
}
void QM_HOST_REGISTER ItemIDString(void* self, wchar_t** result) { StoreString(result, Field<wchar_t*>(self, ItemLayout::IDString)); }
std::uint32_t QM_HOST_REGISTER ItemVisible(void* self) { return Field<std::uint8_t>(self, ItemLayout::Visible); }
std::uint32_t QM_HOST_REGISTER Reserved(void*) { return 0; }
void QM_HOST_REGISTER ItemUnitName(void* self, wchar_t** result) {
  RaiseIfAsked(self);
  StoreString(result, Field<wchar_t*>(self, ItemLayout::UnitName));
}
void QM_HOST_REGISTER ItemDestroy(void* self, int outermost) {
  void* classRef = *static_cast<void**>(self);
  using HookFn = void(QM_HOST_REGISTER*)(void*);
  if (outermost & 0xFF) reinterpret_cast<HookFn>(VmtSlot(classRef, kVmtBeforeDestruction))(self);
  for (int offset : {ItemLayout::Name, ItemLayout::IDString, ItemLayout::HelpName})
    Rtl().ustrClr(&Field<wchar_t*>(self, offset));
  const bool group = HostClassInheritsFrom(classRef, coreide_TBasePaletteGroup_Class);
  if (!group && classRef != coreide_TBasePaletteItem_Class) Rtl().ustrClr(&Field<wchar_t*>(self, ItemLayout::UnitName));
  if (group) {
    Rtl().objectFree(Field<void*>(self, GroupItemsOffset));
    Field<void*>(self, GroupItemsOffset) = nullptr;
  }
  if (outermost & 0xFF) reinterpret_cast<HookFn>(VmtSlot(classRef, kVmtFreeInstance))(self);
}

} // namespace

extern "C" {

// procedure TBasePaletteGroup.GetItem(const Index: Integer): IOTABasePaletteItem —
// the list's Get (locked, bounds checked); a group without a list raises
// the list-index error as the list would.
void QM_HOST_REGISTER CoreIdePaletteGroupGetItem(void* group, std::int32_t index, void** result)
    QM_HOST_SYMBOL(CoreIdePaletteGroupGetItem);
void QM_HOST_REGISTER CoreIdePaletteGroupGetItem(void* group, std::int32_t index, void** result) {
  void* list = Field<void*>(group, GroupItemsOffset);
  if (!list) {
    wchar_t text[64];
    wsprintfW(text, L"List index out of bounds (%d)", index);
    wchar_t* message = Rtl().NewString(text);
    void* error = Rtl().exceptionCreate(RtlObjects::ClassExport(RtlModule(), RtlObjects::Export::EListErrorClass), 1,
                                        message);
    Rtl().Release(message);
    Rtl().raiseExcept(error);
  }
  Calls().listGet(list, index, result);
}

void QM_HOST_REGISTER CoreIdePaletteListCleared(void*) QM_HOST_SYMBOL(CoreIdePaletteListCleared);
void QM_HOST_REGISTER CoreIdePaletteListCleared(void*) { InterlockedIncrement(&g_clears); }

} // extern "C"

namespace {

std::int32_t QM_HOST_REGISTER GroupCountMethod(void* self) {
  void* list = Field<void*>(self, GroupItemsOffset);
  return list ? Calls().listCount(list) : 0;
}

// The method tables of the three interfaces, before the stubs.
constexpr int BaseMethodCount = 15, ItemMethodCount = 20, GroupMethodCount = 17;

std::vector<const void*> BaseMethods() {
  auto code = [](auto f) { return reinterpret_cast<const void*>(f); };
  return {code(&PaletteQueryInterface), Calls().addRef,        Calls().release,      code(&ItemCanDelete),
          code(&ItemEnabled),           code(&ItemHelpName),   code(&ItemName),      code(&ItemIDString),
          code(&ItemVisible),           code(&Reserved),       code(&Reserved),      code(&Reserved),
          code(&Reserved),              code(&Reserved),       code(&Reserved)};
}

std::vector<const void*> ItemMethods() {
  std::vector<const void*> methods = BaseMethods();
  for (int i = BaseMethodCount; i < PaletteDriver::Slot::UnitName; ++i) methods.push_back(reinterpret_cast<const void*>(&Reserved));
  methods.push_back(reinterpret_cast<const void*>(&ItemUnitName));
  return methods;
}

std::vector<const void*> GroupMethods() {
  std::vector<const void*> methods = BaseMethods();
  methods.push_back(reinterpret_cast<const void*>(&GroupCountMethod));
  methods.push_back(reinterpret_cast<const void*>(&CoreIdePaletteGroupGetItem));
  return methods;
}

// The item interface at `slot` answers for both item identifiers.
void SetItemInterfaces(void* classRef, int slot, StubForm form) {
  std::vector<const void*> methods = ItemMethods();
  const void* const* table = MakeInterfaceMethods(slot, form, methods.data(), ItemMethodCount);
  const InterfaceEntry entries[] = {{IID_ComponentItem, table, slot, 0}, {IID_BaseItem, table, slot, 0}};
  SetInterfaceTable(classRef, entries, 2);
}

void* g_interfacedClassVar = nullptr;
void* g_baseItemClassVar = coreide_TBasePaletteItem_Class;
void* g_componentClassVar = coreide_TComponentPaletteItem_Class;
void* g_registerWideParentVar = coreide_TWideComponentItem_Class;
void* g_groupClassVar = coreide_TBasePaletteGroup_Class;

} // namespace

bool HostClassInheritsFrom(void* classRef, void* ancestor) {
  for (void* c = classRef; c; c = VmtSlot(c, kVmtParent) ? *static_cast<void**>(VmtSlot(c, kVmtParent)) : nullptr)
    if (c == ancestor) return true;
  return false;
}

bool CoreIdePaletteClassesBuilt() {
  static const bool built = [] {
    g_interfacedClassVar = RtlObjects::ClassExport(RtlModule(), RtlObjects::Export::TInterfacedObjectClass);
    CoreIdeIntfListClearPtr = RtlObjects::Bind<void*>(RtlModule(), RtlObjects::Export::InterfaceListClear);
    const void* destroy = reinterpret_cast<const void*>(&ItemDestroy);
    HostClassBuilder(coreide_TBasePaletteItem_Class_Storage, "TBasePaletteItem")
        .Parent(&g_interfacedClassVar).InstanceSize(BaseItemSize).Root(kVmtDestroy, destroy).Build();
    {
      std::vector<const void*> methods = BaseMethods();
      const InterfaceEntry entry = {IID_BaseItem, MakeInterfaceMethods(BaseItemSlot, StubForm::StackByte, methods.data(), BaseMethodCount),
                                    BaseItemSlot, 0};
      SetInterfaceTable(coreide_TBasePaletteItem_Class, &entry, 1);
    }
    HostClassBuilder(coreide_TComponentPaletteItem_Class_Storage, "TComponentPaletteItem")
        .Parent(&g_baseItemClassVar).InstanceSize(ComponentSize).Build();
    SetItemInterfaces(coreide_TComponentPaletteItem_Class, ComponentSlot, StubForm::StackByte);
    HostClassBuilder(coreide_TWideComponentItem_Class_Storage, "TWideComponentItem")
        .Parent(&g_componentClassVar).InstanceSize(WideSize).Build();
    SetItemInterfaces(coreide_TWideComponentItem_Class, WideSlot, StubForm::StackLong);
    HostClassBuilder(coreide_TRegisterStubItem_Class_Storage, "TRegisterStubItem")
        .Parent(&g_componentClassVar).InstanceSize(RegisterSize).Build();
    SetItemInterfaces(coreide_TRegisterStubItem_Class, RegisterSlot, StubForm::RegByte);
    HostClassBuilder(coreide_TRegisterWideItem_Class_Storage, "TRegisterWideItem")
        .Parent(&g_registerWideParentVar).InstanceSize(RegisterWideSize).Build();
    SetItemInterfaces(coreide_TRegisterWideItem_Class, RegisterWideSlot, StubForm::RegLong);
    // Not palette items by class: the name is only reachable through the interface.
    HostClassBuilder(coreide_TForeignPaletteItem_Class_Storage, "TForeignPaletteItem")
        .Parent(&g_interfacedClassVar).InstanceSize(ComponentSize).Root(kVmtDestroy, destroy).Build();
    SetItemInterfaces(coreide_TForeignPaletteItem_Class, ComponentSlot, StubForm::Prologue);
    HostClassBuilder(coreide_TOpaquePaletteItem_Class_Storage, "TOpaquePaletteItem")
        .Parent(&g_interfacedClassVar).InstanceSize(ComponentSize).Root(kVmtDestroy, destroy).Build();
    SetItemInterfaces(coreide_TOpaquePaletteItem_Class, ComponentSlot, StubForm::Unknown);
    HostClassBuilder(coreide_TBasePaletteGroup_Class_Storage, "TBasePaletteGroup")
        .Parent(&g_baseItemClassVar).InstanceSize(GroupSize).Build();
    {
      std::vector<const void*> methods = GroupMethods();
      const void* const* table = MakeInterfaceMethods(GroupSlot, StubForm::StackByte, methods.data(), GroupMethodCount);
      const InterfaceEntry entries[] = {{IID_Group, table, GroupSlot, 0}, {IID_BaseItem, table, GroupSlot, 0}};
      SetInterfaceTable(coreide_TBasePaletteGroup_Class, entries, 2);
    }
    HostClassBuilder(coreide_TCustomPaletteGroup_Class_Storage, "TCustomPaletteGroup")
        .Parent(&g_groupClassVar).InstanceSize(GroupSize).Build();
    return true;
  }();
  return built;
}

namespace {
const bool kBuilt = CoreIdePaletteClassesBuilt();

void* NewInstance(void* classRef) {
  using NewInstanceFn = void*(QM_HOST_REGISTER*)(void*);
  using HookFn = void(QM_HOST_REGISTER*)(void*);
  void* self = reinterpret_cast<NewInstanceFn>(VmtSlot(classRef, kVmtNewInstance))(classRef);
  reinterpret_cast<HookFn>(VmtSlot(classRef, kVmtAfterConstruction))(self);
  return self;
}

// The interface at `slot`, with one reference counted.
void* Reference(void* object, int slot) {
  void* intf = static_cast<char*>(object) + slot;
  reinterpret_cast<ULONG(__stdcall*)(void*)>((*static_cast<void* const* const*>(intf))[1])(intf);
  return intf;
}

// The object behind a reference made by this module (every class here keeps
// its object at the same distance from the slot as it was made with).
void* ObjectOf(void* intf) {
  void* object = nullptr;
  reinterpret_cast<HRESULT(__stdcall*)(void*, const GUID*, void**)>((*static_cast<void* const* const*>(intf))[0])(
      intf, &RtlObjects::ObjCastGUID, &object);
  return object;
}

} // namespace

extern "C" {

void* __stdcall PaletteNewItem(std::int32_t kind, const wchar_t* name, const wchar_t* idString, const wchar_t* unitName,
                               std::int32_t visible) {
  struct KindInfo {
    void* classRef;
    int slot;
  };
  const KindInfo kinds[ItemKindCount] = {
      {coreide_TBasePaletteItem_Class, BaseItemSlot},     {coreide_TComponentPaletteItem_Class, ComponentSlot},
      {coreide_TWideComponentItem_Class, WideSlot},       {coreide_TRegisterStubItem_Class, RegisterSlot},
      {coreide_TRegisterWideItem_Class, RegisterWideSlot}, {coreide_TForeignPaletteItem_Class, ComponentSlot},
      {coreide_TOpaquePaletteItem_Class, ComponentSlot}};
  if (kind < 0 || kind >= ItemKindCount) return nullptr;
  void* self = NewInstance(kinds[kind].classRef);
  Field<std::uint8_t>(self, ItemLayout::Visible) = visible ? 1 : 0;
  Field<wchar_t*>(self, ItemLayout::Name) = Rtl().NewString(name ? name : L"");
  Field<wchar_t*>(self, ItemLayout::IDString) = Rtl().NewString(idString ? idString : L"");
  if (kind != BaseItem) Field<wchar_t*>(self, ItemLayout::UnitName) = Rtl().NewString(unitName ? unitName : L"");
  return Reference(self, kinds[kind].slot);
}

void* __stdcall PaletteNewGroup(std::int32_t kind, const wchar_t* name) {
  void* self = NewInstance(kind == CustomGroup ? coreide_TCustomPaletteGroup_Class : coreide_TBasePaletteGroup_Class);
  Field<std::uint8_t>(self, ItemLayout::Visible) = 1;
  Field<wchar_t*>(self, ItemLayout::Name) = Rtl().NewString(name ? name : L"");
  Field<wchar_t*>(self, ItemLayout::IDString) = Rtl().NewString(name ? name : L"");
  Field<void*>(self, GroupItemsOffset) = Calls().listCreate(Calls().listClass, 1);
  return Reference(self, GroupSlot);
}

void __stdcall PaletteGroupAdd(void* group, void* item) { Calls().listAdd(Field<void*>(ObjectOf(group), GroupItemsOffset), item); }

void* __stdcall PaletteGroupItems(void* group) { return Field<void*>(ObjectOf(group), GroupItemsOffset); }

void __stdcall PaletteSetRaising(void* item, std::int32_t raise) {
  Field<std::uint8_t>(ObjectOf(item), ItemLayout::RaiseOnRead) = raise ? 1 : 0;
}

std::uint32_t __stdcall PaletteQueryCount() { return static_cast<std::uint32_t>(g_queries); }
std::uint32_t __stdcall PaletteClearCount() { return static_cast<std::uint32_t>(g_clears); }

void* __stdcall CoreIdePatternSite(const char* site) {
  const SearchedSite* found = FindSearchedSite(site);
  return found ? found->Address : nullptr;
}

} // extern "C"

static_assert(std::is_same_v<decltype(&PaletteNewItem), NewItemFn>, "NewItem");
static_assert(std::is_same_v<decltype(&PaletteNewGroup), NewGroupFn>, "NewGroup");
static_assert(std::is_same_v<decltype(&PaletteGroupAdd), GroupAddFn>, "GroupAdd");
static_assert(std::is_same_v<decltype(&PaletteGroupItems), GroupItemsFn>, "GroupItems");
static_assert(std::is_same_v<decltype(&PaletteSetRaising), SetRaisingFn>, "SetRaising");
static_assert(std::is_same_v<decltype(&PaletteQueryCount), CountFn>, "QueryCount");
static_assert(std::is_same_v<decltype(&CoreIdePaletteGroupGetItem), GetItemFn>, "GetItem");
static_assert(std::is_same_v<decltype(&CoreIdePatternSite), PatternSiteFn>, "PatternSite");
