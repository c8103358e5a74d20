// The stand-in designer root's items and selection (designide150.bpl, unit
// Componentdesigner), declared once for the stand-in, the tests and the
// benchmarks.
//
// A root (our layout, a host class whose virtual method 18, at +0x48, is
// NextCandidate: EAX = root, EDX = an item, ECX = the result variable → the
// item that comes after it in the root's drop order, the root's own item
// after the last): +0x2C its selection holder (or nil), +0x30 the drop
// order (items), +0x34 their count, +0x38 the designer's current container
// (a component), +0x3C the component last selected, +0x40 the root's own
// item, +0x44 how often the designer was told of a change.
// A selection holder: +4 the root's item, +12 the selection's list
// interface (method 3 Count: EAX → EAX; method 4 Get: EAX, EDX = index,
// ECX = the result variable).
// An item (its interface reference is the item itself): method 3
// GetComponent (EAX → EAX), method 11 GetParent (EAX, EDX = the result
// variable; raises for an item made so), method 12 IsContainer (EAX → AL).
// Interfaces are not reference counted (everything lives as long as the
// process).
//
// FindItemParent (EAX = root, EDX = item, ECX = the result variable): from
// the item, the root's next candidate until one answers IsContainer; a tab
// sheet of a page control that is not shown is a container all the same
// (**the fault**: a drop on a page control lands on a hidden tab sheet
// before the shown one).
// DeleteSelection (EAX = root, DL = a flag): every selected item's
// component deleted, the selection emptied, then, in a try block, the
// designer's current container selected (the call at +12 of the searched
// bytes: EAX = root, EDX = the component, ECX = 0) and the designer told
// (**the fault**: after deleting a control on one tab sheet the designer
// selects the current container, another tab sheet).
// IsRootSelected (EAX = root → AL): the root's item is in the selection.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "Common/HostLayout.h"

namespace ItemParentDriver {

namespace Export {
constexpr const char* FindItemParent =
    "@Componentdesigner@TComponentRoot@FindItemParent$qqrx42System@%DelphiInterface$t14Designer@IItem%";
constexpr const char* DeleteSelection = "@Componentdesigner@TComponentRoot@DeleteSelection$qqro";
constexpr const char* IsRootSelected = "@Componentdesigner@TComponentRoot@IsRootSelected$qqrv";
// Driver (stdcall).
constexpr const char* NewRoot = "DesignNewItemRoot";
constexpr const char* NewComponent = "DesignNewComponent";
constexpr const char* NewItem = "DesignNewItem";
constexpr const char* SetDropOrder = "DesignSetDropOrder";
constexpr const char* Select = "DesignSelect";
constexpr const char* State = "DesignItemRootState";
}  // namespace Export

namespace RootLayout {
constexpr int Holder = 0x2C, DropOrder = 0x30, DropCount = 0x34, Container = 0x38, Selected = 0x3C, RootItem = 0x40,
              Modified = 0x44, Size = 0x48;
}
constexpr int NextCandidateSlot = 18;
namespace ItemSlot {
constexpr int GetComponent = 3, GetParent = 11, IsContainer = 12;
}
namespace SelectionListSlot {
constexpr int Count = 3, Get = 4;
}
constexpr int HolderList = 12;

enum TComponentKind : int { PlainControl = 0, ShownWinControl = 1, HiddenWinControl = 2, NoControl = 3 };

using FindItemParentFn = void(QM_HOST_REGISTER*)(void* root, void* item, void** result);
using DeleteSelectionFn = void(QM_HOST_REGISTER*)(void* root, std::uint32_t flag);
using IsRootSelectedFn = std::uint8_t(QM_HOST_REGISTER*)(void* root);

// A root with its own item (a container, the form) and, when withHolder, a
// selection holder.
using NewRootFn = void*(__stdcall*)(int withHolder);
// A component: a TControl, a TWinControl shown or hidden, or a TObject.
using NewComponentFn = void*(__stdcall*)(int kind);
// An item for the component (nil: none), its parent item, whether it is a
// container, whether its GetParent raises.
using NewItemFn = void*(__stdcall*)(void* component, void* parent, int container, int raises);
// The drop order, and the component that becomes the designer's current container.
using SetDropOrderFn = void(__stdcall*)(void* root, void* const* items, int count, void* container);
// The selection: the items given (the root's item is one when it is among them).
using SelectFn = void(__stdcall*)(void* root, void* const* items, int count);
// The root's item, the component last selected, the designer's change
// count; the deleted components so far (all roots).
using StateFn = void(__stdcall*)(void* root, void** rootItem, void** selected, int* modified, int* deleted);

struct Driver {
  FindItemParentFn FindItemParent = nullptr;
  DeleteSelectionFn DeleteSelection = nullptr;
  IsRootSelectedFn IsRootSelected = nullptr;
  NewRootFn NewRoot = nullptr;
  NewComponentFn NewComponent = nullptr;
  NewItemFn NewItem = nullptr;
  SetDropOrderFn SetDropOrder = nullptr;
  SelectFn Select = nullptr;
  StateFn State = nullptr;

  bool Bind(HMODULE module) {
    auto bind = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
          reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
      return slot != nullptr;
    };
    bool ok = bind(FindItemParent, Export::FindItemParent);
    ok = bind(DeleteSelection, Export::DeleteSelection) && ok;
    ok = bind(IsRootSelected, Export::IsRootSelected) && ok;
    ok = bind(NewRoot, Export::NewRoot) && ok;
    ok = bind(NewComponent, Export::NewComponent) && ok;
    ok = bind(NewItem, Export::NewItem) && ok;
    ok = bind(SetDropOrder, Export::SetDropOrder) && ok;
    ok = bind(Select, Export::Select) && ok;
    return bind(State, Export::State) && ok;
  }
};

}  // namespace ItemParentDriver
