// The stand-in component palette (coreide150.bpl, unit Palmgr; the manager
// in delphicoreide150.bpl), declared once for the stand-ins, bds.exe, the
// tests and the benchmarks.
//
// Palette objects are TInterfacedObject descendants. The palette interfaces
// (methods by index, IUnknown's 0..2 stdcall, the rest register convention):
//   base item   {A9F1B1E2-4C0D-4F3A-9E55-3D1C7B0E6A10}: 3 CanDelete, 4 Enabled,
//               5 HelpName, 6 Name, 7 IDString, 8 Visible (AL), 9..14 reserved
//   component palette item {5A1A13FD-48B6-4A76-BB3F-374102172767}: the base
//               item's, 15..18 reserved, 19 UnitName
//   palette group {C7593CE8-1A0B-409F-B21F-84D983593F77}: the base item's,
//               15 Count, 16 Item(Index) (TBasePaletteGroup.GetItem)
// Strings come back through the hidden result variable (last argument).
// TBasePaletteItem: [12] Visible byte, [13] raise-on-read byte, [16] Name,
// [20] IDString, [24] HelpName, [28] base-item slot. TComponentPaletteItem:
// [32] UnitName, [36] item slot. TBasePaletteGroup (a TBasePaletteItem):
// [32] items (TInterfaceList), [36] group slot.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"

namespace PaletteDriver {

constexpr GUID IID_BaseItem = {0xA9F1B1E2, 0x4C0D, 0x4F3A, {0x9E, 0x55, 0x3D, 0x1C, 0x7B, 0x0E, 0x6A, 0x10}};
constexpr GUID IID_ComponentItem = {0x5A1A13FD, 0x48B6, 0x4A76, {0xBB, 0x3F, 0x37, 0x41, 0x02, 0x17, 0x27, 0x67}};
constexpr GUID IID_Group = {0xC7593CE8, 0x1A0B, 0x409F, {0xB2, 0x1F, 0x84, 0xD9, 0x83, 0x59, 0x3F, 0x77}};
constexpr GUID IID_PaletteServices = {0x6963F71C, 0x0A3F, 0x4598, {0xB6, 0xF6, 0x95, 0x74, 0xCE, 0x0E, 0x68, 0x47}};

namespace Slot {
constexpr int Name = 6, IDString = 7, Visible = 8, Count = 15, Item = 16, UnitName = 19, BaseGroup = 4;
}
namespace ItemLayout {
constexpr int Visible = 12, RaiseOnRead = 13, Name = 16, IDString = 20, HelpName = 24, UnitName = 32;
}
constexpr int GroupItemsOffset = 32;

// The kinds of item the driver makes; each class's interface stub has its own form.
enum ItemKind : std::int32_t {
  BaseItem = 0,        // TBasePaletteItem itself: no component interface
  ComponentItem = 1,   // TComponentPaletteItem, stub 83 44 24 04 xx
  WideItem = 2,        // TWideComponentItem (slot past 127), stub 81 44 24 04 imm32
  EaxItem = 3,         // TRegisterStubItem, stub 83 C0 xx
  EaxWideItem = 4,     // TRegisterWideItem (great-grandchild of TBasePaletteItem), stub 05 imm32
  ForeignItem = 5,     // TForeignPaletteItem (not a TBasePaletteItem), stub 55 8B EC
  OpaqueItem = 6,      // TOpaquePaletteItem, a stub of no known form
  ItemKindCount = 7
};
enum GroupKind : std::int32_t { BaseGroup = 0, CustomGroup = 1 };

namespace Export {
constexpr const char* BaseItemClass = "@Palmgr@TBasePaletteItem@";
constexpr const char* GroupClass = "@Palmgr@TBasePaletteGroup@";
constexpr const char* GroupClear = "@Palmgr@TBasePaletteGroup@Clear$qqrv";
constexpr const char* GroupGetItem = "@Palmgr@TBasePaletteGroup@GetItem$qqrxi";
// Driver (stdcall).
constexpr const char* NewItem = "PaletteNewItem";
constexpr const char* NewGroup = "PaletteNewGroup";
constexpr const char* GroupAdd = "PaletteGroupAdd";
constexpr const char* GroupItems = "PaletteGroupItems";
constexpr const char* SetRaising = "PaletteSetRaising";
constexpr const char* QueryCount = "PaletteQueryCount";
constexpr const char* ClearCount = "PaletteClearCount";
constexpr const char* PatternSite = "CoreIdePatternSite";
}  // namespace Export

// An item interface (one reference, the caller's) of the kind, with texts.
using NewItemFn = void*(__stdcall*)(std::int32_t kind, const wchar_t* name, const wchar_t* idString,
                                     const wchar_t* unitName, std::int32_t visible);
// A group interface (one reference, the caller's).
using NewGroupFn = void*(__stdcall*)(std::int32_t kind, const wchar_t* name);
// Adds an item or group interface to a group's item list.
using GroupAddFn = void(__stdcall*)(void* group, void* item);
// The group's TInterfaceList object.
using GroupItemsFn = void*(__stdcall*)(void* group);
// Reading the item's name or unit name raises a host exception from now on (or not).
using SetRaisingFn = void(__stdcall*)(void* item, std::int32_t raise);
// QueryInterface calls on palette objects so far; Clear calls so far.
using CountFn = std::uint32_t(__stdcall*)();
using PatternSiteFn = void*(__stdcall*)(const char* site);
// TBasePaletteGroup.GetItem(Index): EAX = group object, EDX = index, ECX = result variable.
using GetItemFn = void(QM_HOST_REGISTER*)(void* group, std::int32_t index, void** result);

template <class T>
T Bind(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
}

}  // namespace PaletteDriver
