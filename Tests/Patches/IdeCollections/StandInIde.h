// The stand-in IDE packages of the collection patches, loaded into the test
// process: their driver exports bound, a palette, uses lists, hash tables,
// MSBuild groups and notifier lists made through them, and one workload over
// all of them whose fingerprint the unpatched host defines.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "TestHost/comptoolbar150/ToolbarDriver.h"
#include "TestHost/coreide150/MsbNodesDriver.h"
#include "TestHost/coreide150/PaletteDriver.h"
#include "TestHost/coreide150/UsesEntryDriver.h"
#include "TestHost/delphicoreide150/PaletteManagerDriver.h"
#include "TestHost/delphicoreide150/UsesListDriver.h"
#include "TestHost/designide150/ToolUtilsDriver.h"
#include "TestHost/vclide150/HashTableDriver.h"

namespace StandInIde {

// The packages in load order (file names in <build>/host).
const std::vector<std::wstring>& Modules();

struct TDriver {
  // palette
  PaletteDriver::NewItemFn NewItem;
  PaletteDriver::NewGroupFn NewGroup;
  PaletteDriver::GroupAddFn GroupAdd;
  PaletteDriver::GroupItemsFn GroupItems;
  PaletteDriver::SetRaisingFn SetRaising;
  PaletteDriver::CountFn QueryCount;
  PaletteDriver::GetItemFn GetItem;
  PaletteManagerDriver::NewManagerFn NewManager;
  PaletteManagerDriver::FreeManagerFn FreeManager;
  PaletteManagerDriver::FindItemFn FindItem;
  PaletteManagerDriver::FindItemGroupFn FindItemGroup;
  PaletteManagerDriver::ServicesFn Services;
  // tool bar
  ToolbarDriver::NewFn NewToolbar;
  ToolbarDriver::FrameFn FreeToolbar, FillTabs;
  ToolbarDriver::CounterFn ToolbarChecksum, ToolbarFiled;
  // hash tables
  HashTableDriver::NewTableFn NewTable;
  HashTableDriver::FreeTableFn FreeTable;
  HashTableDriver::AddFn TableAdd;
  HashTableDriver::FindFn TableFind;
  HashTableDriver::RemoveFn TableRemove;
  HashTableDriver::ClearFn TableClear;
  HashTableDriver::ChainStatsFn ChainStats;
  // uses lists
  UsesEntryDriver::NewFn NewEntry;
  UsesListDriver::NewFn NewUsesList;
  UsesListDriver::ItemFn UsesAdd, UsesRemove;
  UsesListDriver::ListFn UsesClear, UsesCount, UsesFree;
  UsesListDriver::FindFn UsesFind;
  // MSBuild tree
  MsbNodesDriver::NewNodeFn NewNode;
  MsbNodesDriver::NewGroupFn NewItemGroup, NewPropertyGroup;
  MsbNodesDriver::AddChildFn AddChild;
  MsbNodesDriver::CountFn ChildCount, IndexCount;
  MsbNodesDriver::FindChildFn FindChild;
  MsbNodesDriver::CounterFn NodesAlive, CheckAndWarnCalls;
  MsbNodesDriver::AddItemFn AddItem;
  MsbNodesDriver::AddPropertyFn AddProperty;
  // notifier lists
  ToolUtilsDriver::AddToListFn AddToList;
  ToolUtilsDriver::NewFn NewNotifierList, NewNotifier;
  // sites
  PaletteDriver::PatternSiteFn CoreIdeSite, VclIdeSite, DelphiCoreSite;
};

// Binds the driver from the loaded packages; throws when one is missing.
void Bind();
const TDriver& Driver();

// Host strings (reference count 1) and their release; a host string's text.
wchar_t* HostText(const std::wstring& text);
void Release(wchar_t*& s);
std::wstring TextOf(const wchar_t* s);
// Interface helpers.
void IntfRelease(void* intf);
std::wstring ItemName(void* item);  // method 6
std::wstring GroupName(void* group);  // method 7

// A host exception raised by f, as "<class>: <message>", or "" when none.
std::wstring HostRaise(void (*f)(void*), void* data);

// A palette: `groups` groups of `items` items each (item kinds in turn, the
// last group holding a nested group), under a root group, with its manager.
struct TPalette {
  void* Root = nullptr;
  void* Manager = nullptr;
  std::vector<void*> Groups;  // group interfaces (the palette holds references too)
  TPalette(int groups, int items);
  ~TPalette();
  TPalette(const TPalette&) = delete;
  TPalette& operator=(const TPalette&) = delete;
};
// The item names the palette uses ("Item<g>_<i>", "TComp<g>_<i>", "Unit<g>.pas").
std::wstring PaletteItemName(int group, int item);
std::wstring PaletteUnitName(int group);

// FindItem / FindItemGroup through the exports (whatever code is there now):
// the answer's name (method 6, "nil" for none).
std::wstring FindItem(const TPalette& p, const std::wstring& name, const std::wstring& qualifier, bool recursive,
                      void* group = nullptr);
std::wstring FindItemGroup(const TPalette& p, const std::wstring& name, const std::wstring& qualifier);

// The whole workload's fingerprint: palette searches, tool bar tabs, hash
// tables, uses lists, MSBuild groups, notifier lists.
std::string Exercise();

// Installs the subsystem's patches at their moments, as the library would
// (the palette services handed over as the IDE's services first).
void InstallAll();

}  // namespace StandInIde
