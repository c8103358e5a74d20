// The designer root's items and selection (ItemParentDriver.h): the root's
// class, items, the selection list, and the routines FindItemParent,
// DeleteSelection and IsRootSelected call (ItemParentCode.S).
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <type_traits>
#include <vector>

#include "Common/HostClass.h"
#include "Common/HostLayout.h"
#include "Common/HostRtl.h"
#include "ItemParentDriver.h"
#include "vcl150/WinControlDriver.h"

using namespace QmHost;
using namespace ItemParentDriver;

QM_HOST_CLASS(designide_TComponentRoot_Class, NextCandidateSlot + 1);

namespace {

struct TItem {
  const void* const* Methods;
  void* Component;
  TItem* Parent;
  std::int32_t Container;
  std::int32_t Raises;
};

struct TSelectionList {
  const void* const* Methods;
  std::vector<TItem*> Items;
};

struct THolder {
  void* Unused;
  TItem* RootItem;
  void* Unused2;
  TSelectionList* List;  // +12
};

std::mutex g_lock;
void* g_objectVar = nullptr;
void* g_rootClass = nullptr;
int g_deleted = 0;

template <class T>
T& At(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

HRESULT __stdcall NoInterface(void*, const GUID*, void** out) {
  *out = nullptr;
  return E_NOINTERFACE;
}
ULONG __stdcall NoCount(void*) { return 1; }
std::uint32_t QM_HOST_REGISTER Unsupported(void*) { return 0; }

void* QM_HOST_REGISTER ItemComponent(TItem* item) { return item->Component; }
void QM_HOST_REGISTER ItemParent(TItem* item, TItem** result) {
  if (item->Raises) {
    const HostRtl* rtl = LoadedHostRtl();
    rtl->raiseExcept(rtl->NewException(L"The item's parent is gone"));
  }
  *result = item->Parent;
}
std::uint8_t QM_HOST_REGISTER ItemIsContainer(TItem* item) { return item->Container ? 1 : 0; }

#define QM_CODE(f) reinterpret_cast<const void*>(&f)
const void* const ItemMethods[ItemSlot::IsContainer + 1] = {
    QM_CODE(NoInterface), QM_CODE(NoCount),     QM_CODE(NoCount),     QM_CODE(ItemComponent), QM_CODE(Unsupported),
    QM_CODE(Unsupported), QM_CODE(Unsupported), QM_CODE(Unsupported), QM_CODE(Unsupported),   QM_CODE(Unsupported),
    QM_CODE(Unsupported), QM_CODE(ItemParent),  QM_CODE(ItemIsContainer)};

std::int32_t QM_HOST_REGISTER ListCount(TSelectionList* list) { return std::int32_t(list->Items.size()); }
void QM_HOST_REGISTER ListGet(TSelectionList* list, std::int32_t index, TItem** result) {
  *result = index >= 0 && size_t(index) < list->Items.size() ? list->Items[size_t(index)] : nullptr;
}
const void* const ListMethods[SelectionListSlot::Get + 1] = {QM_CODE(NoInterface), QM_CODE(NoCount), QM_CODE(NoCount),
                                                             QM_CODE(ListCount), QM_CODE(ListGet)};
#undef QM_CODE

TItem* NewItem(void* component, TItem* parent, int container, int raises) {
  return new TItem{ItemMethods, component, parent, container, raises};
}

// The candidate after `current` in the root's drop order; the root's own
// item after the last one and for an item not in the order.
void QM_HOST_REGISTER NextCandidate(void* root, TItem* current, TItem** result) {
  auto* const* order = At<TItem**>(root, RootLayout::DropOrder);
  const std::int32_t count = At<std::int32_t>(root, RootLayout::DropCount);
  *result = At<TItem*>(root, RootLayout::RootItem);
  for (std::int32_t i = 0; i + 1 < count; ++i)
    if (order[i] == current) *result = order[i + 1];
}

void BuildRootClass() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_objectVar = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"rtl150.bpl"), "@System@TObject@"));
    g_rootClass = HostClassBuilder(designide_TComponentRoot_Class_Storage, "TComponentRoot")
                      .Parent(&g_objectVar)
                      .InstanceSize(RootLayout::Size)
                      .Virtual(NextCandidateSlot, reinterpret_cast<const void*>(&NextCandidate))
                      .Build();
  });
}

} // namespace

extern "C" {

// The selection's root item, when it is selected (EAX = the holder or nil, EDX = the result variable).
void QM_HOST_REGISTER designide_SelectedRootItem(THolder* holder, TItem** result)
    QM_HOST_SYMBOL(designide_SelectedRootItem);
void QM_HOST_REGISTER designide_SelectedRootItem(THolder* holder, TItem** result) {
  *result = nullptr;
  if (!holder) return;
  for (TItem* item : holder->List->Items)
    if (item == holder->RootItem) *result = item;
}

// Deletes every selected item's component and empties the selection (EAX = root, EDX = the flag).
void QM_HOST_REGISTER designide_DeleteSelected(void* root, std::uint32_t) QM_HOST_SYMBOL(designide_DeleteSelected);
void QM_HOST_REGISTER designide_DeleteSelected(void* root, std::uint32_t) {
  auto* holder = At<THolder*>(root, RootLayout::Holder);
  if (!holder) return;
  std::lock_guard<std::mutex> hold(g_lock);
  for (TItem* item : holder->List->Items)
    if (item != holder->RootItem && item->Component) {
      item->Component = nullptr;
      ++g_deleted;
    }
  holder->List->Items.clear();
}

void* QM_HOST_REGISTER designide_CurrentContainer(void* root) QM_HOST_SYMBOL(designide_CurrentContainer);
void* QM_HOST_REGISTER designide_CurrentContainer(void* root) { return At<void*>(root, RootLayout::Container); }

void QM_HOST_REGISTER designide_SelectComponent(void* root, void* component, std::uint32_t)
    QM_HOST_SYMBOL(designide_SelectComponent);
void QM_HOST_REGISTER designide_SelectComponent(void* root, void* component, std::uint32_t) {
  At<void*>(root, RootLayout::Selected) = component;
}

void QM_HOST_REGISTER designide_DesignerModified(void* root) QM_HOST_SYMBOL(designide_DesignerModified);
void QM_HOST_REGISTER designide_DesignerModified(void* root) { ++At<std::int32_t>(root, RootLayout::Modified); }

void* __stdcall DesignNewItemRoot(int withHolder) {
  BuildRootClass();
  void* root = std::calloc(1, RootLayout::Size);
  At<void*>(root, 0) = g_rootClass;
  TItem* rootItem = NewItem(nullptr, nullptr, 1, 0);
  At<TItem*>(root, RootLayout::RootItem) = rootItem;
  if (withHolder) At<THolder*>(root, RootLayout::Holder) = new THolder{nullptr, rootItem, nullptr, new TSelectionList{ListMethods, {}}};
  return root;
}

void* __stdcall DesignNewComponent(int kind) {
  using namespace WinControlDriver;
  HMODULE vcl = GetModuleHandleW(L"vcl150.bpl");
  const char* className =
      kind == PlainControl ? WinControlDriver::Export::ControlClass : WinControlDriver::Export::WinControlClass;
  void* classRef = reinterpret_cast<void*>(GetProcAddress(vcl, className));
  int size = kind == PlainControl ? ControlLayout::Size : WinControlLayout::Size;
  if (kind == NoControl) {
    classRef = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"rtl150.bpl"), "@System@TObject@"));
    size = 4;
  }
  void* component = std::calloc(1, size_t(size));
  At<void*>(component, 0) = classRef;
  if (kind == ShownWinControl) At<std::uint8_t>(component, WinControlLayout::Showing) = 1;
  return component;
}

void* __stdcall DesignNewItem(void* component, void* parent, int container, int raises) {
  return NewItem(component, static_cast<TItem*>(parent), container, raises);
}

void __stdcall DesignSetDropOrder(void* root, void* const* items, int count, void* container) {
  auto** order = static_cast<TItem**>(std::calloc(size_t(count) + 1, sizeof(TItem*)));
  for (int i = 0; i < count; ++i) order[i] = static_cast<TItem*>(items[i]);
  std::free(At<TItem**>(root, RootLayout::DropOrder));
  At<TItem**>(root, RootLayout::DropOrder) = order;
  At<std::int32_t>(root, RootLayout::DropCount) = count;
  At<void*>(root, RootLayout::Container) = container;
}

void __stdcall DesignSelect(void* root, void* const* items, int count) {
  auto* holder = At<THolder*>(root, RootLayout::Holder);
  if (!holder) return;
  holder->List->Items.clear();
  for (int i = 0; i < count; ++i) holder->List->Items.push_back(static_cast<TItem*>(items[i]));
}

void __stdcall DesignItemRootState(void* root, void** rootItem, void** selected, int* modified, int* deleted) {
  if (rootItem) *rootItem = At<void*>(root, RootLayout::RootItem);
  if (selected) *selected = At<void*>(root, RootLayout::Selected);
  if (modified) *modified = At<std::int32_t>(root, RootLayout::Modified);
  std::lock_guard<std::mutex> hold(g_lock);
  if (deleted) *deleted = g_deleted;
}

} // extern "C"

static_assert(std::is_same_v<decltype(&DesignNewItemRoot), NewRootFn>, "NewRoot");
static_assert(std::is_same_v<decltype(&DesignNewComponent), NewComponentFn>, "NewComponent");
static_assert(std::is_same_v<decltype(&DesignNewItem), NewItemFn>, "NewItem");
static_assert(std::is_same_v<decltype(&DesignSetDropOrder), SetDropOrderFn>, "SetDropOrder");
static_assert(std::is_same_v<decltype(&DesignSelect), SelectFn>, "Select");
static_assert(std::is_same_v<decltype(&DesignItemRootState), StateFn>, "State");
