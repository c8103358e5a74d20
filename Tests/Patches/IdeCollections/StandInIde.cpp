#include "StandInIde.h"

#include <cstdio>
#include <stdexcept>

#include "Common/HostGuard.h"
#include "Common/HostRtl.h"
#include "Framework/LibraryEntry.h"
#include "Patches/IdeCollections/CompToolbarSpeedFix.h"
#include "Patches/IdeCollections/IDECollectionOptimization.h"
#include "Patches/IdeCollections/IDEInterfaceSpeedFix.h"
#include "Patches/IdeCollections/IDEUsesListClearOptimization.h"
#include "Patches/IdeCollections/MSBNodesOptimization.h"
#include "Patches/IdeCollections/ToolUtilNotifierOptimization.h"

namespace StandInIde {

namespace {

TDriver g_driver;

template <class T>
void BindOne(T& slot, const wchar_t* module, const char* name) {
  HMODULE m = GetModuleHandleW(module);
  // A variant may lack an export a patch looks for: that one stays null.
  slot = reinterpret_cast<T>(reinterpret_cast<void*>(m ? GetProcAddress(m, name) : nullptr));
}

using RefFn = ULONG(__stdcall*)(void*);
using StringMethodFn = void(__attribute__((regparm(3), stdcall))*)(void*, wchar_t**);

template <class Fn>
Fn Method(void* intf, int index) {
  return reinterpret_cast<Fn>((*static_cast<void* const* const*>(intf))[index]);
}

std::wstring MethodText(void* intf, int slot) {
  wchar_t* s = nullptr;
  Method<StringMethodFn>(intf, slot)(intf, &s);
  std::wstring text = TextOf(s);
  Release(s);
  return text;
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? char(c) : '?';
  return out;
}

}  // namespace

const std::vector<std::wstring>& Modules() {
  static const std::vector<std::wstring> modules = {L"rtl150.bpl",       L"vclide150.bpl",      L"coreide150.bpl",
                                                    L"delphicoreide150.bpl", L"comptoolbar150.bpl", L"designide150.bpl"};
  return modules;
}

void Bind() {
  TDriver& d = g_driver;
  const wchar_t* core = L"coreide150.bpl";
  const wchar_t* delphi = L"delphicoreide150.bpl";
  const wchar_t* vcl = L"vclide150.bpl";
  const wchar_t* bar = L"comptoolbar150.bpl";
  const wchar_t* design = L"designide150.bpl";
  BindOne(d.NewItem, core, PaletteDriver::Export::NewItem);
  BindOne(d.NewGroup, core, PaletteDriver::Export::NewGroup);
  BindOne(d.GroupAdd, core, PaletteDriver::Export::GroupAdd);
  BindOne(d.GroupItems, core, PaletteDriver::Export::GroupItems);
  BindOne(d.SetRaising, core, PaletteDriver::Export::SetRaising);
  BindOne(d.QueryCount, core, PaletteDriver::Export::QueryCount);
  BindOne(d.GetItem, core, PaletteDriver::Export::GroupGetItem);
  BindOne(d.NewManager, delphi, PaletteManagerDriver::Export::NewManager);
  BindOne(d.FreeManager, delphi, PaletteManagerDriver::Export::FreeManager);
  BindOne(d.FindItem, delphi, PaletteManagerDriver::Export::FindItem);
  BindOne(d.FindItemGroup, delphi, PaletteManagerDriver::Export::FindItemGroup);
  BindOne(d.Services, delphi, PaletteManagerDriver::Export::Services);
  BindOne(d.NewToolbar, bar, ToolbarDriver::Export::New);
  BindOne(d.FreeToolbar, bar, ToolbarDriver::Export::Free);
  BindOne(d.FillTabs, bar, ToolbarDriver::Export::Fill);
  BindOne(d.ToolbarChecksum, bar, ToolbarDriver::Export::Checksum);
  BindOne(d.ToolbarFiled, bar, ToolbarDriver::Export::Filed);
  BindOne(d.NewTable, vcl, HashTableDriver::Export::NewTable);
  BindOne(d.FreeTable, vcl, HashTableDriver::Export::FreeTable);
  BindOne(d.TableAdd, vcl, HashTableDriver::Export::Add);
  BindOne(d.TableFind, vcl, HashTableDriver::Export::Find);
  BindOne(d.TableRemove, vcl, HashTableDriver::Export::Remove);
  BindOne(d.TableClear, vcl, HashTableDriver::Export::Clear);
  BindOne(d.ChainStats, vcl, HashTableDriver::Export::ChainStats);
  BindOne(d.NewEntry, core, UsesEntryDriver::Export::New);
  BindOne(d.NewUsesList, delphi, UsesListDriver::Export::New);
  BindOne(d.UsesAdd, delphi, UsesListDriver::Export::Add);
  BindOne(d.UsesRemove, delphi, UsesListDriver::Export::Remove);
  BindOne(d.UsesClear, delphi, UsesListDriver::Export::Clear);
  BindOne(d.UsesCount, delphi, UsesListDriver::Export::Count);
  BindOne(d.UsesFree, delphi, UsesListDriver::Export::Free);
  BindOne(d.UsesFind, delphi, UsesListDriver::Export::Find);
  BindOne(d.NewNode, core, MsbNodesDriver::Export::NewNode);
  BindOne(d.NewItemGroup, core, MsbNodesDriver::Export::NewItemGroup);
  BindOne(d.NewPropertyGroup, core, MsbNodesDriver::Export::NewPropertyGroup);
  BindOne(d.AddChild, core, MsbNodesDriver::Export::AddChild);
  BindOne(d.ChildCount, core, MsbNodesDriver::Export::ChildCount);
  BindOne(d.IndexCount, core, MsbNodesDriver::Export::IndexCount);
  BindOne(d.FindChild, core, MsbNodesDriver::Export::FindChild);
  BindOne(d.NodesAlive, core, MsbNodesDriver::Export::NodesAlive);
  BindOne(d.CheckAndWarnCalls, core, MsbNodesDriver::Export::CheckAndWarnCalls);
  BindOne(d.AddItem, core, MsbNodesDriver::Export::AddItem);
  BindOne(d.AddProperty, core, MsbNodesDriver::Export::AddProperty);
  BindOne(d.AddToList, design, ToolUtilsDriver::Export::AddToList);
  BindOne(d.NewNotifierList, design, ToolUtilsDriver::Export::NewList);
  BindOne(d.NewNotifier, design, ToolUtilsDriver::Export::NewNotifier);
  BindOne(d.CoreIdeSite, core, PaletteDriver::Export::PatternSite);
  BindOne(d.VclIdeSite, vcl, HashTableDriver::Export::PatternSite);
  BindOne(d.DelphiCoreSite, delphi, UsesListDriver::Export::PatternSite);
}

const TDriver& Driver() { return g_driver; }

wchar_t* HostText(const std::wstring& text) { return QmHost::LoadedHostRtl()->NewString(text); }
void Release(wchar_t*& s) { QmHost::LoadedHostRtl()->Release(s); }
std::wstring TextOf(const wchar_t* s) {
  return s ? std::wstring(s, size_t(QmHost::StrHeader(s)->length)) : std::wstring();
}

void IntfRelease(void* intf) {
  if (intf) Method<RefFn>(intf, 2)(intf);
}
std::wstring ItemName(void* item) { return MethodText(item, PaletteDriver::Slot::Name); }
std::wstring GroupName(void* group) { return MethodText(group, PaletteDriver::Slot::IDString); }

std::wstring HostRaise(void (*f)(void*), void* data) {
  QmHost::HostExceptionReport report;
  if (QmHost::CallHostGuarded([&] { f(data); }, report, QmHost::LoadedHostRtl())) return L"";
  return report.Text();
}

std::wstring PaletteItemName(int group, int item) {
  return L"Item" + std::to_wstring(group) + L"_" + std::to_wstring(item);
}
std::wstring PaletteUnitName(int group) { return L"Unit" + std::to_wstring(group) + L".pas"; }

TPalette::TPalette(int groups, int items) {
  const TDriver& d = g_driver;
  Root = d.NewGroup(PaletteDriver::BaseGroup, L"Root");
  for (int g = 0; g < groups; ++g) {
    std::wstring name = L"Group" + std::to_wstring(g);
    void* group = d.NewGroup(g % 3 == 2 ? PaletteDriver::CustomGroup : PaletteDriver::BaseGroup, name.c_str());
    for (int i = 0; i < items; ++i) {
      std::wstring itemName = PaletteItemName(g, i), id = L"TComp" + std::to_wstring(g) + L"_" + std::to_wstring(i % 7);
      std::wstring unit = PaletteUnitName(g);
      void* item = d.NewItem((g + i) % PaletteDriver::ItemKindCount, itemName.c_str(), id.c_str(), unit.c_str(), i % 5 != 4);
      d.GroupAdd(group, item);
      IntfRelease(item);
    }
    if (g + 1 == groups) {
      void* nested = d.NewGroup(PaletteDriver::BaseGroup, L"Nested");
      void* item = d.NewItem(PaletteDriver::ComponentItem, L"Deep", L"TDeep", L"Deep.pas", 1);
      d.GroupAdd(nested, item);
      IntfRelease(item);
      d.GroupAdd(group, nested);
      IntfRelease(nested);
    }
    d.GroupAdd(Root, group);
    Groups.push_back(group);
  }
  Manager = d.NewManager(Root);
}

TPalette::~TPalette() {
  g_driver.FreeManager(Manager);
  for (void* group : Groups) IntfRelease(group);
  IntfRelease(Root);
}

std::wstring FindItem(const TPalette& p, const std::wstring& name, const std::wstring& qualifier, bool recursive,
                      void* group) {
  wchar_t* n = HostText(name);
  wchar_t* q = HostText(qualifier);
  void* result = nullptr;
  g_driver.FindItem(p.Manager, n, q, &result, group, recursive ? 1 : 0);
  std::wstring answer = result ? ItemName(result) : L"nil";
  IntfRelease(result);
  Release(n);
  Release(q);
  return answer;
}

std::wstring FindItemGroup(const TPalette& p, const std::wstring& name, const std::wstring& qualifier) {
  wchar_t* n = HostText(name);
  wchar_t* q = HostText(qualifier);
  void* result = nullptr;
  g_driver.FindItemGroup(p.Manager, n, q, &result);
  std::wstring answer = result ? GroupName(result) : L"nil";
  IntfRelease(result);
  Release(n);
  Release(q);
  return answer;
}

std::string Exercise() {
  const TDriver& d = g_driver;
  std::wstring out;
  if (d.FindItem && d.FindItemGroup) {
    TPalette palette(6, 14);
    out += L"find:";
    for (int g : {0, 2, 5})
      for (int i : {0, 3, 6, 13}) {
        out += FindItem(palette, PaletteItemName(g, i), PaletteUnitName(g), true) + L",";
        out += FindItem(palette, PaletteItemName(g, i), PaletteUnitName(g), false, palette.Groups[size_t(g)]) + L",";
        out += FindItemGroup(palette, PaletteItemName(g, i), PaletteUnitName(g)) + L",";
      }
    out += FindItem(palette, L"ITEM1_2", L"UNIT1.PAS", true) + L"," + FindItem(palette, L"Item1_2", L"Unit2.pas", true) +
           L"," + FindItem(palette, L"Deep", L"Deep.pas", true) + L"," + FindItem(palette, L"Deep", L"Deep.pas", false) +
           L"," + FindItemGroup(palette, L"Deep", L"Deep.pas") + L"," + FindItem(palette, L"Absent", L"", true);
    void* bar = d.NewToolbar();
    d.FillTabs(bar);
    out += L" tabs:" + std::to_wstring(d.ToolbarChecksum(bar)) + L"/" + std::to_wstring(d.ToolbarFiled(bar));
    d.FreeToolbar(bar);
  }
  {
    void* table = d.NewTable(0, 31);
    std::vector<wchar_t*> keys;
    for (int i = 0; i < 200; ++i) keys.push_back(HostText(L"Key" + std::to_wstring(i * 7)));
    for (size_t i = 0; i < keys.size(); ++i) d.TableAdd(table, keys[i], reinterpret_cast<void*>(i + 1));
    uintptr_t sum = 0;
    for (size_t i = 0; i < keys.size(); i += 3) d.TableRemove(table, keys[i]);
    for (wchar_t* key : keys) sum = sum * 31 + reinterpret_cast<uintptr_t>(d.TableFind(table, key));
    wchar_t* upper = HostText(L"KEY14");
    sum += reinterpret_cast<uintptr_t>(d.TableFind(table, upper));
    Release(upper);
    out += L" table:" + std::to_wstring(sum);
    d.TableClear(table);
    d.FreeTable(table);
    for (wchar_t*& key : keys) Release(key);
  }
  {
    void* list = d.NewUsesList();
    std::vector<void*> entries;
    for (int i = 0; i < 60; ++i) {
      std::wstring unit = L"Unit" + std::to_wstring(i % 50);
      std::wstring file = (i % 9 == 0 ? L"\\\\server\\share\\src\\" : L"C:\\src\\") + unit + L"_" + std::to_wstring(i) + L".pas";
      entries.push_back(d.NewEntry(unit.c_str(), file.c_str()));
      d.UsesAdd(list, entries.back());
    }
    d.UsesRemove(list, entries[7]);
    auto name = [&](void* e) -> std::wstring {
      if (!e) return L"nil";
      for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i] == e) return std::to_wstring(i);
      return L"?";
    };
    out += L" uses:";
    out += name(d.UsesFind(list, L"Unit3", L"C:\\src\\Unit3_53.pas", 0)) + L",";
    out += name(d.UsesFind(list, L"unit3", L"c:\\SRC\\unit3_3.pas", 0)) + L",";
    out += name(d.UsesFind(list, L"Unit9", L"\\\\SERVER\\share\\x\\..\\src\\Unit9_9.pas", 0)) + L",";
    out += name(d.UsesFind(list, L"Unit7", L"C:\\src\\Unit7_7.pas", 0)) + L",";
    out += name(d.UsesFind(list, L"Unit12", L"nowhere", 1)) + L",";
    out += name(d.UsesFind(list, L"Unit12", L"nowhere", 0)) + L",";
    out += name(d.UsesFind(list, L"Missing", L"", 1)) + L"," + std::to_wstring(d.UsesCount(list));
    d.UsesClear(list);
    out += L"," + std::to_wstring(d.UsesCount(list)) + L"," + name(d.UsesFind(list, L"Unit3", L"", 1));
    d.UsesAdd(list, entries[3]);
    out += L"," + name(d.UsesFind(list, L"Unit3", L"", 1));
    d.UsesFree(list);
    for (void* e : entries) QmHost::LoadedHostRtl()->objectFree(e);
  }
  {
    const int alive = d.NodesAlive();
    void* items = d.NewItemGroup();
    void* properties = d.NewPropertyGroup();
    for (int i = 0; i < 40; ++i) {
      wchar_t* n = HostText(L"Item" + std::to_wstring(i));
      wchar_t* v = HostText(L"Value" + std::to_wstring(i));
      wchar_t* c = HostText(i % 2 ? L"'$(Config)'=='Debug'" : L"");
      d.AddItem(items, n, v);
      d.AddProperty(properties, n, v, c);
      Release(n);
      Release(v);
      Release(c);
    }
    out += L" msb:" + std::to_wstring(d.ChildCount(items)) + L"," + std::to_wstring(d.IndexCount(properties)) + L"," +
           std::to_wstring(d.FindChild(items, L"item17") != nullptr);
    void* node = d.NewNode(L"Plain");
    for (int i = 0; i < 10; ++i) d.AddChild(node, (L"Child" + std::to_wstring(i)).c_str());
    QmHost::LoadedHostRtl()->objectFree(node);
    MsbNodesDriver::Bind<MsbNodesDriver::NodeClearFn>(GetModuleHandleW(L"coreide150.bpl"), MsbNodesDriver::Export::NodeClear)(items);
    out += L"," + std::to_wstring(d.ChildCount(items)) + L"," + std::to_wstring(d.IndexCount(items));
    QmHost::LoadedHostRtl()->objectFree(items);
    QmHost::LoadedHostRtl()->objectFree(properties);
    out += L"," + std::to_wstring(d.NodesAlive() - alive);
  }
  if (d.AddToList) {
    void* list = d.NewNotifierList();
    std::vector<void*> notifiers;
    for (int i = 0; i < 6; ++i) notifiers.push_back(d.NewNotifier());
    out += L" notifiers:";
    for (int i = 0; i < 4; ++i) out += std::to_wstring(d.AddToList(list, notifiers[size_t(i)])) + L",";
    using PutFn = void(__attribute__((regparm(3), stdcall))*)(void*, int32_t, void*);
    Method<PutFn>(list, 6)(list, 1, nullptr);
    Method<PutFn>(list, 6)(list, 2, nullptr);
    for (int i = 4; i < 6; ++i) out += std::to_wstring(d.AddToList(list, notifiers[size_t(i)])) + L",";
    out += std::to_wstring(d.AddToList(list, notifiers[0]));
    IntfRelease(list);
    for (void* n : notifiers) IntfRelease(n);
  }
  return Narrow(out);
}

void InstallAll() {
  using namespace Quillmend;
  InstallInterfaceSpeedFix();
  InstallCollectionOptimization();
  InstallUsesListClearOptimization();
  InstallMsbNodesOptimization();
  BorlandIDEServices = g_driver.Services();
  InstallCompToolbarSpeedFix();
  InstallToolUtilNotifierOptimization();
}

}  // namespace StandInIde
