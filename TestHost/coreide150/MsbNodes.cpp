// The MSBuild project tree: nodes owning their children, item and property
// groups with a name index. A child freed while its parent still knows it
// unregisters itself: the parent's list looks for it (one scan of the list
// per child) and the group's index drops its name. AddItem and AddProperty
// are in MsbNodesCode.S.
#include <windows.h>

#include <type_traits>

#include "Common/HostClass.h"
#include "Common/HostRtl.h"
#include "MsbNodesDriver.h"
#include "rtl150/ObjectModelDriver.h"
#include "vclide150/HashTableDriver.h"

using namespace QmHost;
using namespace MsbNodesDriver;

QM_HOST_CLASS(coreide_TNode_Class, 1);
QM_HOST_CLASS(coreide_TItemGroup_Class, 1);
QM_HOST_CLASS(coreide_TPropertyGroup_Class, 1);

extern "C" {
extern char coreide_TNode_Class[] QM_HOST_SYMBOL(coreide_TNode_Class);
extern char coreide_TItemGroup_Class[] QM_HOST_SYMBOL(coreide_TItemGroup_Class);
extern char coreide_TPropertyGroup_Class[] QM_HOST_SYMBOL(coreide_TPropertyGroup_Class);
void QM_HOST_REGISTER CoreIdeNodeClear(void* node) QM_HOST_SYMBOL(CoreIdeNodeClear);
void* QM_HOST_REGISTER CoreIdeItemGroupAddItem(void* group, const wchar_t* include, const wchar_t* value)
    QM_HOST_SYMBOL(CoreIdeItemGroupAddItem);
void* QM_HOST_REGISTER CoreIdePropertyGroupAddProperty(void* group, const wchar_t* name, const wchar_t* value,
                                                       const wchar_t* condition) QM_HOST_SYMBOL(CoreIdePropertyGroupAddProperty);
}

namespace {

using HookFn = void(QM_HOST_REGISTER*)(void*);
using NewInstanceFn = void*(QM_HOST_REGISTER*)(void*);
using ChildRemovedFn = void(QM_HOST_REGISTER*)(void* self, void* child);
using TableCreateFn = void*(QM_HOST_REGISTER*)(void* classRef, std::int32_t alloc, std::int32_t caseSensitive,
                                               double growth, std::uint32_t bucketCount);

const HostRtl& Rtl() { return *LoadedHostRtl(); }

template <class T>
T& Field(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

struct Imports {
  RtlObjects::ObjectListCreateFn objectListCreate;
  void* objectListClass;
  RtlObjects::ListAddFn listAdd;
  RtlObjects::ListExtractFn listExtract;
  TableCreateFn tableCreate;
  void* tableClass;
  HashTableDriver::AddFn tableAdd;
  HashTableDriver::FindFn tableFind;
  HashTableDriver::RemoveFn tableRemove;
};

// The run-time's and the VCL package's routines, bound at first use.
const Imports& Use() {
  static const Imports imports = [] {
    HMODULE rtl = GetModuleHandleW(L"rtl150.bpl");
    HMODULE vcl = GetModuleHandleW(L"vclide150.bpl");
    namespace R = RtlObjects;
    namespace H = HashTableDriver;
    Imports i;
    i.objectListCreate = R::Bind<R::ObjectListCreateFn>(rtl, R::Export::ObjectListCreate);
    i.objectListClass = R::ClassExport(rtl, R::Export::TObjectListClass);
    i.listAdd = R::Bind<R::ListAddFn>(rtl, R::Export::ListAdd);
    i.listExtract = R::Bind<R::ListExtractFn>(rtl, R::Export::ListExtract);
    i.tableCreate = H::Bind<TableCreateFn>(vcl, H::Export::Create);
    i.tableClass = H::Bind<void*>(vcl, H::Export::Class);
    i.tableAdd = H::Bind<H::AddFn>(vcl, H::Export::Add);
    i.tableFind = H::Bind<H::FindFn>(vcl, H::Export::Find);
    i.tableRemove = H::Bind<H::RemoveFn>(vcl, H::Export::Remove);
    return i;
  }();
  return imports;
}

volatile LONG g_alive = 0;
volatile LONG g_checkAndWarn = 0;

// What the groups' rules answer (pure functions of their arguments).
std::int32_t QM_HOST_REGISTER ItemCondition(const wchar_t* name) { return name ? lstrlenW(name) : 0; }
std::int32_t QM_HOST_REGISTER ValueKind(const wchar_t* value) { return value && value[0] == L'$' ? 2 : 1; }
struct Rules {
  const void* reserved;
  const void* itemCondition;
  const void* valueKind;
} const g_rules = {nullptr, reinterpret_cast<const void*>(&ItemCondition), reinterpret_cast<const void*>(&ValueKind)};

bool IsGroup(void* node) {
  void* c = *static_cast<void**>(node);
  return c == coreide_TItemGroup_Class || c == coreide_TPropertyGroup_Class;
}

void* NewNode(void* classRef) {
  void* self = reinterpret_cast<NewInstanceFn>(VmtSlot(classRef, kVmtNewInstance))(classRef);
  Field<void*>(self, Layout::Children) = Use().objectListCreate(Use().objectListClass, 1, 1);
  if (classRef != coreide_TNode_Class) {
    Field<void*>(self, Layout::Project) = self;
    Field<void*>(self, Layout::NameIndex) = Use().tableCreate(Use().tableClass, 1, 0, 1.0, 1021);
    Field<const void*>(self, Layout::Rules) = &g_rules;
  }
  reinterpret_cast<HookFn>(VmtSlot(classRef, kVmtAfterConstruction))(self);
  InterlockedIncrement(&g_alive);
  return self;
}

// A child node named `name` appended to `parent` (and to its index).
void* AppendChild(void* parent, const wchar_t* name, const wchar_t* value, const wchar_t* condition) {
  void* child = NewNode(coreide_TNode_Class);
  Rtl().ustrAsg(&Field<wchar_t*>(child, Layout::Name), name);
  Rtl().ustrAsg(&Field<wchar_t*>(child, Layout::Value), value);
  Rtl().ustrAsg(&Field<wchar_t*>(child, Layout::Condition), condition);
  Field<void*>(child, Layout::Parent) = parent;
  Use().listAdd(Field<void*>(parent, Layout::Children), child);
  if (IsGroup(parent)) Use().tableAdd(Field<void*>(parent, Layout::NameIndex), Field<wchar_t*>(child, Layout::Name), child);
  return child;
}

void QM_HOST_REGISTER NodeChildRemoved(void* self, void* child) {
  Use().listExtract(Field<void*>(self, Layout::Children), child);
}

void QM_HOST_REGISTER GroupChildRemoved(void* self, void* child) {
  Use().tableRemove(Field<void*>(self, Layout::NameIndex), Field<wchar_t*>(child, Layout::Name));
  NodeChildRemoved(self, child);
}

void QM_HOST_REGISTER NodeDestroy(void* self, int outermost) {
  void* classRef = *static_cast<void**>(self);
  if (outermost & 0xFF) reinterpret_cast<HookFn>(VmtSlot(classRef, kVmtBeforeDestruction))(self);
  if (void* parent = Field<void*>(self, Layout::Parent)) {
    Field<void*>(self, Layout::Parent) = nullptr;
    reinterpret_cast<ChildRemovedFn>(VmtSlot(*static_cast<void**>(parent), 0))(parent, self);
  }
  CoreIdeNodeClear(self);
  Rtl().objectFree(Field<void*>(self, Layout::Children));
  Field<void*>(self, Layout::Children) = nullptr;
  for (int offset : {Layout::Name, Layout::Value, Layout::Condition}) Rtl().ustrClr(&Field<wchar_t*>(self, offset));
  if (classRef != coreide_TNode_Class) Rtl().objectFree(Field<void*>(self, Layout::NameIndex));
  InterlockedDecrement(&g_alive);
  if (outermost & 0xFF) reinterpret_cast<HookFn>(VmtSlot(classRef, kVmtFreeInstance))(self);
}

void* g_objectClassVar = nullptr;
void* g_nodeClassVar = coreide_TNode_Class;

const bool kBuilt = [] {
  g_objectClassVar = RtlObjects::ClassExport(GetModuleHandleW(L"rtl150.bpl"), "@System@TObject@");
  HostClassBuilder(coreide_TNode_Class_Storage, "TNode")
      .Parent(&g_objectClassVar)
      .InstanceSize(Layout::NodeSize)
      .Virtual(0, reinterpret_cast<const void*>(&NodeChildRemoved))
      .Root(kVmtDestroy, reinterpret_cast<const void*>(&NodeDestroy))
      .Build();
  for (auto* storage : {&coreide_TItemGroup_Class_Storage, &coreide_TPropertyGroup_Class_Storage})
    HostClassBuilder(*storage, storage == &coreide_TItemGroup_Class_Storage ? "TItemGroup" : "TPropertyGroup")
        .Parent(&g_nodeClassVar)
        .InstanceSize(Layout::GroupSize)
        .Virtual(0, reinterpret_cast<const void*>(&GroupChildRemoved))
        .Build();
  return true;
}();

} // namespace

extern "C" {

// procedure TNode.Clear: the child list cleared; each child, freed, tells
// this node it is gone.
void QM_HOST_REGISTER CoreIdeNodeClear(void* node) {
  if (void* children = Field<void*>(node, Layout::Children))
    reinterpret_cast<HookFn>(VmtSlot(*static_cast<void**>(children), 4 * RtlObjects::ListLayout::ClearSlot))(children);
}

void* QM_HOST_REGISTER CoreIdeItemGroupAddItemImpl(void* group, const wchar_t* include, const wchar_t* value)
    QM_HOST_SYMBOL(CoreIdeItemGroupAddItemImpl);
void* QM_HOST_REGISTER CoreIdeItemGroupAddItemImpl(void* group, const wchar_t* include, const wchar_t* value) {
  return AppendChild(group, include, value, nullptr);
}

void* QM_HOST_REGISTER CoreIdePropertyGroupAddImpl(void* group, const wchar_t* name, const wchar_t* value,
                                                   const wchar_t* condition) QM_HOST_SYMBOL(CoreIdePropertyGroupAddImpl);
void* QM_HOST_REGISTER CoreIdePropertyGroupAddImpl(void* group, const wchar_t* name, const wchar_t* value,
                                                   const wchar_t* condition) {
  return AppendChild(group, name, value, condition);
}

// The helpers of the two routines' argument formatting.
std::int32_t QM_HOST_REGISTER CoreIdeConditionFor(void*, const wchar_t*, std::int32_t condition)
    QM_HOST_SYMBOL(CoreIdeConditionFor);
std::int32_t QM_HOST_REGISTER CoreIdeConditionFor(void*, const wchar_t*, std::int32_t condition) { return condition + 1; }

std::uint32_t QM_HOST_REGISTER CoreIdeIsReserved(void*, const wchar_t*, std::int32_t kind) QM_HOST_SYMBOL(CoreIdeIsReserved);
std::uint32_t QM_HOST_REGISTER CoreIdeIsReserved(void*, const wchar_t*, std::int32_t kind) { return kind == 2; }

void QM_HOST_REGISTER CoreIdeExpandValue(void*, const wchar_t*, const wchar_t* value, wchar_t** result)
    QM_HOST_SYMBOL(CoreIdeExpandValue);
void QM_HOST_REGISTER CoreIdeExpandValue(void*, const wchar_t*, const wchar_t* value, wchar_t** result) {
  Rtl().ustrAsg(result, value);
}

// Format(Fmt, Args, High(Args)): each "%s" takes the next string argument
// (vtUnicodeString 0x11 or vtPWideChar 0x0A).
void QM_HOST_REGISTER CoreIdeFormat(const wchar_t* format, const std::uint32_t* args, std::int32_t high, wchar_t** result)
    QM_HOST_SYMBOL(CoreIdeFormat);
void QM_HOST_REGISTER CoreIdeFormat(const wchar_t* format, const std::uint32_t* args, std::int32_t high, wchar_t** result) {
  std::wstring text;
  std::int32_t next = 0;
  for (const wchar_t* p = format; p && *p; ++p) {
    if (p[0] == L'%' && p[1] == L's' && next <= high) {
      const wchar_t* arg = reinterpret_cast<const wchar_t*>(args[2 * next]);
      std::uint8_t type = static_cast<std::uint8_t>(args[2 * next + 1]);
      if ((type == 0x11 || type == 0x0A) && arg) text += arg;
      ++next;
      ++p;
    } else {
      text += *p;
    }
  }
  wchar_t* fresh = Rtl().NewString(text);
  Rtl().ustrClr(result);
  *result = fresh;
}

// The check whose arguments are formatted: it does nothing but count.
void QM_HOST_REGISTER CoreIdeCheckAndWarn(std::int32_t, const wchar_t*) QM_HOST_SYMBOL(CoreIdeCheckAndWarn);
void QM_HOST_REGISTER CoreIdeCheckAndWarn(std::int32_t, const wchar_t*) { InterlockedIncrement(&g_checkAndWarn); }

void QM_HOST_REGISTER CoreIdeReleaseString(wchar_t** variable) QM_HOST_SYMBOL(CoreIdeReleaseString);
void QM_HOST_REGISTER CoreIdeReleaseString(wchar_t** variable) { Rtl().ustrClr(variable); }

extern const HostStringLiteral<15> CoreIdeItemFormat QM_HOST_SYMBOL(CoreIdeItemFormat) = {{kUnicodeCodePage, 2, -1, 14},
                                                                                    L"Adding item %s"};
extern const HostStringLiteral<19> CoreIdePropertyFormat QM_HOST_SYMBOL(CoreIdePropertyFormat) = {
    {kUnicodeCodePage, 2, -1, 18}, L"Setting %s to \"%s\""};

// ---- driver --------------------------------------------------------------------------

void* __stdcall MsbNewNode(const wchar_t* name) {
  void* node = NewNode(coreide_TNode_Class);
  Field<wchar_t*>(node, Layout::Name) = Rtl().NewString(name ? name : L"");
  return node;
}
void* __stdcall MsbNewItemGroup() { return NewNode(coreide_TItemGroup_Class); }
void* __stdcall MsbNewPropertyGroup() { return NewNode(coreide_TPropertyGroup_Class); }
void* __stdcall MsbAddChild(void* node, const wchar_t* name) {
  wchar_t* text = Rtl().NewString(name ? name : L"");
  void* child = AppendChild(node, text, nullptr, nullptr);
  Rtl().Release(text);
  return child;
}
std::int32_t __stdcall MsbChildCount(void* node) {
  void* children = Field<void*>(node, Layout::Children);
  return children ? Field<std::int32_t>(children, RtlObjects::ListLayout::Count) : 0;
}
void* __stdcall MsbFindChild(void* group, const wchar_t* name) {
  wchar_t* text = Rtl().NewString(name ? name : L"");
  void* child = Use().tableFind(Field<void*>(group, Layout::NameIndex), text);
  Rtl().Release(text);
  return child;
}
std::int32_t __stdcall MsbIndexCount(void* group) {
  return Field<std::int32_t>(Field<void*>(group, Layout::NameIndex), HashTableDriver::Layout::Count);
}
std::int32_t __stdcall MsbNodesAlive() { return g_alive; }
std::int32_t __stdcall MsbCheckAndWarnCalls() { return g_checkAndWarn; }

} // extern "C"

static_assert(std::is_same_v<decltype(&CoreIdeItemGroupAddItem), AddItemFn>, "AddItem");
static_assert(std::is_same_v<decltype(&CoreIdePropertyGroupAddProperty), AddPropertyFn>, "AddProperty");
static_assert(std::is_same_v<decltype(&CoreIdeNodeClear), NodeClearFn>, "Clear");
static_assert(std::is_same_v<decltype(&MsbNewNode), NewNodeFn>, "NewNode");
static_assert(std::is_same_v<decltype(&MsbAddChild), AddChildFn>, "AddChild");
static_assert(std::is_same_v<decltype(&MsbFindChild), FindChildFn>, "FindChild");
