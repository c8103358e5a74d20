// bds.exe workload "collections": the IDE's collections at work, through the
// packages' driver exports and the routines the pack patches: palette
// searches, the component tool bar's tabs, a project uses list filled,
// searched and cleared, an MSBuild item group filled and cleared.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "comptoolbar150/ToolbarDriver.h"
#include "coreide150/MsbNodesDriver.h"
#include "coreide150/PaletteDriver.h"
#include "coreide150/UsesEntryDriver.h"
#include "delphicoreide150/PaletteManagerDriver.h"
#include "delphicoreide150/UsesListDriver.h"

namespace QmHost {

namespace {

template <class T>
T Export(const wchar_t* module, const char* name) {
  HMODULE m = GetModuleHandleW(module);
  return reinterpret_cast<T>(reinterpret_cast<void*>(m ? GetProcAddress(m, name) : nullptr));
}

double NowMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

std::uint32_t Mix(std::uint32_t h, std::uint32_t v) { return (h ^ v) * 16777619u; }

void Release(void* intf) {
  if (intf) reinterpret_cast<ULONG(__stdcall*)(void*)>((*static_cast<void* const* const*>(intf))[2])(intf);
}

int RunCollections(HostApp& app, const std::vector<std::wstring>& args) {
  int groups = 20, items = 50, units = 5000, children = 5000;
  int* sizes[] = {&groups, &items, &units, &children};
  for (size_t i = 0; i < args.size() && i < 4; ++i) *sizes[i] = _wtoi(args[i].c_str());
  const wchar_t* core = L"coreide150.bpl";
  const wchar_t* delphi = L"delphicoreide150.bpl";
  auto newItem = Export<PaletteDriver::NewItemFn>(core, PaletteDriver::Export::NewItem);
  auto newGroup = Export<PaletteDriver::NewGroupFn>(core, PaletteDriver::Export::NewGroup);
  auto groupAdd = Export<PaletteDriver::GroupAddFn>(core, PaletteDriver::Export::GroupAdd);
  auto queries = Export<PaletteDriver::CountFn>(core, PaletteDriver::Export::QueryCount);
  auto newManager = Export<PaletteManagerDriver::NewManagerFn>(delphi, PaletteManagerDriver::Export::NewManager);
  auto freeManager = Export<PaletteManagerDriver::FreeManagerFn>(delphi, PaletteManagerDriver::Export::FreeManager);
  auto findItem = Export<PaletteManagerDriver::FindItemFn>(delphi, PaletteManagerDriver::Export::FindItem);
  auto newBar = Export<ToolbarDriver::NewFn>(L"comptoolbar150.bpl", ToolbarDriver::Export::New);
  auto fillTabs = Export<ToolbarDriver::FrameFn>(L"comptoolbar150.bpl", ToolbarDriver::Export::Fill);
  auto barChecksum = Export<ToolbarDriver::CounterFn>(L"comptoolbar150.bpl", ToolbarDriver::Export::Checksum);
  auto freeBar = Export<ToolbarDriver::FrameFn>(L"comptoolbar150.bpl", ToolbarDriver::Export::Free);
  auto newEntry = Export<UsesEntryDriver::NewFn>(core, UsesEntryDriver::Export::New);
  auto newList = Export<UsesListDriver::NewFn>(delphi, UsesListDriver::Export::New);
  auto usesAdd = Export<UsesListDriver::ItemFn>(delphi, UsesListDriver::Export::Add);
  auto usesFind = Export<UsesListDriver::FindFn>(delphi, UsesListDriver::Export::Find);
  auto usesClear = Export<UsesListDriver::ListFn>(delphi, UsesListDriver::Export::Clear);
  auto usesFree = Export<UsesListDriver::ListFn>(delphi, UsesListDriver::Export::Free);
  auto newItemGroup = Export<MsbNodesDriver::NewGroupFn>(core, MsbNodesDriver::Export::NewItemGroup);
  auto addItem = Export<MsbNodesDriver::AddItemFn>(core, MsbNodesDriver::Export::AddItem);
  auto nodeClear = Export<MsbNodesDriver::NodeClearFn>(core, MsbNodesDriver::Export::NodeClear);
  auto childCount = Export<MsbNodesDriver::CountFn>(core, MsbNodesDriver::Export::ChildCount);
  if (!newItem || !newManager || !findItem || !newBar || !fillTabs || !newList || !usesFind || !newItemGroup ||
      !addItem || !nodeClear) {
    app.Log(L"WORKLOAD-ERROR collections: a package or its driver exports are missing");
    return 2;
  }
  app.Log(L"COLLECTIONS-WORKLOAD groups=" + std::to_wstring(groups) + L" items=" + std::to_wstring(items) +
          L" units=" + std::to_wstring(units) + L" children=" + std::to_wstring(children));
  auto phase = [&app](const wchar_t* name, auto&& work) {
    double start = NowMs();
    std::uint32_t result = work();
    wchar_t text[32];
    std::swprintf(text, 32, L"%.3f", NowMs() - start);
    app.Log(std::wstring(L"COLLECTIONS-PHASE ") + name + L" ms=" + text + L" result=" + Hex(result));
  };

  // The palette: groups of component items; the search looks for the last one.
  void* root = newGroup(PaletteDriver::BaseGroup, L"Root");
  for (int g = 0; g < groups; ++g) {
    void* group = newGroup(PaletteDriver::BaseGroup, (L"Group" + std::to_wstring(g)).c_str());
    for (int i = 0; i < items; ++i) {
      std::wstring name = L"TComp" + std::to_wstring(g) + L"_" + std::to_wstring(i);
      void* item = newItem(i % 10 == 9 ? PaletteDriver::WideItem : PaletteDriver::ComponentItem, name.c_str(),
                           name.c_str(), (L"Unit" + std::to_wstring(g) + L".pas").c_str(), 1);
      groupAdd(group, item);
      Release(item);
    }
    groupAdd(root, group);
    Release(group);
  }
  void* manager = newManager(root);
  Release(root);
  phase(L"palette-search", [&] {
    const std::wstring last = L"TComp" + std::to_wstring(groups - 1) + L"_" + std::to_wstring(items - 1);
    wchar_t* name = app.rtl.NewString(last);
    wchar_t* unit = app.rtl.NewString(L"Unit" + std::to_wstring(groups - 1) + L".pas");
    std::uint32_t h = 2166136261u;
    const std::uint32_t before = queries();
    for (int n = 0; n < 100; ++n) {
      void* found = nullptr;
      findItem(manager, name, unit, &found, nullptr, 1);
      h = Mix(h, found != nullptr);
      Release(found);
    }
    app.Log(L"COLLECTIONS-QUERIES " + std::to_wstring(queries() - before));
    app.rtl.Release(name);
    app.rtl.Release(unit);
    return h;
  });
  phase(L"filltabs", [&] {
    void* bar = newBar();
    fillTabs(bar);
    std::uint32_t checksum = barChecksum(bar);
    freeBar(bar);
    return checksum;
  });
  freeManager(manager);

  void* list = newList();
  std::vector<void*> entries;
  for (int i = 0; i < units; ++i) {
    std::wstring unit = L"Proj.Unit" + std::to_wstring(i);
    entries.push_back(newEntry(unit.c_str(), (L"C:\\Proj\\" + unit + L".pas").c_str()));
  }
  phase(L"uses-fill", [&] {
    for (void* e : entries) usesAdd(list, e);
    return std::uint32_t(entries.size());
  });
  phase(L"uses-find", [&] {
    std::uint32_t h = 2166136261u;
    for (int i = 0; i < units; i += 7) {
      const bool absent = i % 70 == 0;
      std::wstring unit = (absent ? L"Proj.Missing" : L"Proj.Unit") + std::to_wstring(i);
      h = Mix(h, usesFind(list, unit.c_str(), (L"C:\\Proj\\" + unit + L".pas").c_str(), 0) != nullptr);
    }
    return h;
  });
  phase(L"uses-clear", [&] {
    usesClear(list);
    return std::uint32_t(0);
  });
  usesFree(list);
  for (void* e : entries) app.rtl.objectFree(e);

  void* group = newItemGroup();
  phase(L"msb-add", [&] {
    for (int i = 0; i < children; ++i) {
      wchar_t* include = app.rtl.NewString(L"Src\\File" + std::to_wstring(i) + L".pas");
      addItem(group, include, nullptr);
      app.rtl.Release(include);
    }
    return std::uint32_t(childCount(group));
  });
  phase(L"msb-clear", [&] {
    nodeClear(group);
    return std::uint32_t(childCount(group));
  });
  app.rtl.objectFree(group);
  return 0;
}

const WorkloadRegistration kCollections{
    L"collections", RunCollections,
    L"collections [<groups> <items> <units> <children>]  palette searches, tool bar tabs, a uses list, an MSBuild group"};

} // namespace

} // namespace QmHost
