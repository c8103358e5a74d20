// The stand-in component palette manager (delphicoreide150.bpl, unit
// Comppalmgr) and the palette services it offers the IDE, declared once for
// the stand-ins, bds.exe, the tests and the benchmarks.
//
// TComponentPaletteManager (8 bytes): [4] the root group (a palette-group
// interface reference). FindItem and FindItemGroup search the palette the
// host's way: every item asked for its name, then cast by QueryInterface to
// the component item interface (its unit name compared with
// AnsiCompareFileName) and to the group interface (searched when recursive).
// The palette services {6963F71C-0A3F-4598-B6F6-9574CE0E6847}: method 4
// gives the base group of the active manager (the last one made).
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"

namespace PaletteManagerDriver {

namespace Export {
constexpr const char* FindItem =
    "@Comppalmgr@TComponentPaletteManager@FindItem$qqrx20System@UnicodeStringt1ox55System@%DelphiInterface$t27"
    "Paletteapi@IOTAPaletteGroup%";
constexpr const char* FindItemGroup = "@Comppalmgr@TComponentPaletteManager@FindItemGroup$qqrx20System@UnicodeStringt1";
constexpr const char* ManagerClass = "@Comppalmgr@TComponentPaletteManager@";
// Driver (stdcall).
constexpr const char* NewManager = "PaletteManagerNew";
constexpr const char* FreeManager = "PaletteManagerFree";
constexpr const char* Services = "PaletteServicesRoot";
}  // namespace Export

constexpr int RootGroup = 4;

// function FindItem(const Name, Qualifier: string; Recursive: Boolean;
//   const Group: IOTAPaletteGroup): IOTABasePaletteItem — EAX = manager,
//   EDX = Name, ECX = Qualifier, stack: Recursive, Group, result variable (callee pops 12).
using FindItemFn = void(QM_HOST_REGISTER*)(void* manager, const wchar_t* name, const wchar_t* qualifier, void** result,
                                           void* group, std::uint32_t recursive);
// function FindItemGroup(const Name, Qualifier: string): IOTAPaletteGroup —
//   EAX = manager, EDX = Name, ECX = Qualifier, stack: result variable.
using FindItemGroupFn = void(QM_HOST_REGISTER*)(void* manager, const wchar_t* name, const wchar_t* qualifier,
                                                void** result);
// A manager over a root group (a reference of its own); it becomes the active one.
using NewManagerFn = void*(__stdcall*)(void* rootGroup);
using FreeManagerFn = void(__stdcall*)(void* manager);
// An IUnknown-first object answering the palette services (as the IDE's
// services root does): what bds.exe offers, and what tests hand the pack.
using ServicesFn = void*(__stdcall*)();

template <class T>
T Bind(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
}

}  // namespace PaletteManagerDriver
