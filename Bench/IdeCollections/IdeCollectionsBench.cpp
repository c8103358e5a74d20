// The IDE's collections with the pack's collection patches disabled (the
// stand-in packages as they are) and enabled (installed in this process),
// side by side; the results of both are checked equal and the ratios printed:
// palette searches, the tool bar's tabs, string hash tables, uses lists and
// MSBuild groups.
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "Common/BenchTimer.h"
#include "Common/HostRtl.h"
#include "Framework/LibraryEntry.h"
#include "Patches/IdeCollections/CompToolbarSpeedFix.h"
#include "Patches/IdeCollections/IDECollectionOptimization.h"
#include "Patches/IdeCollections/IDEInterfaceSpeedFix.h"
#include "Patches/IdeCollections/IDEUsesListClearOptimization.h"
#include "Patches/IdeCollections/MSBNodesOptimization.h"
#include "Patches/IdeCollections/ToolUtilNotifierOptimization.h"
#include "comptoolbar150/ToolbarDriver.h"
#include "coreide150/MsbNodesDriver.h"
#include "coreide150/PaletteDriver.h"
#include "coreide150/UsesEntryDriver.h"
#include "delphicoreide150/PaletteManagerDriver.h"
#include "delphicoreide150/UsesListDriver.h"
#include "vclide150/HashTableDriver.h"

using Quillmend::Bench::Seconds;

namespace {

const QmHost::HostRtl* g_rtl = nullptr;

template <class T>
T Export(const wchar_t* module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(module), name)));
}
const wchar_t* const Core = L"coreide150.bpl";
const wchar_t* const Delphi = L"delphicoreide150.bpl";
const wchar_t* const Vcl = L"vclide150.bpl";
const wchar_t* const Bar = L"comptoolbar150.bpl";

void Release(void* intf) {
  if (intf) reinterpret_cast<ULONG(__stdcall*)(void*)>((*static_cast<void* const* const*>(intf))[2])(intf);
}

bool g_patched = false;
const char* Mode() { return g_patched ? "enabled " : "disabled"; }

// ---- palette ------------------------------------------------------------------------

struct TPalette {
  void* Manager = nullptr;
  TPalette(int groups, int items) {
    auto newGroup = Export<PaletteDriver::NewGroupFn>(Core, PaletteDriver::Export::NewGroup);
    auto newItem = Export<PaletteDriver::NewItemFn>(Core, PaletteDriver::Export::NewItem);
    auto add = Export<PaletteDriver::GroupAddFn>(Core, PaletteDriver::Export::GroupAdd);
    void* root = newGroup(PaletteDriver::BaseGroup, L"Root");
    for (int g = 0; g < groups; ++g) {
      void* group = newGroup(PaletteDriver::BaseGroup, (L"Group" + std::to_wstring(g)).c_str());
      for (int i = 0; i < items; ++i) {
        std::wstring name = L"TComp" + std::to_wstring(g) + L"_" + std::to_wstring(i);
        void* item = newItem(PaletteDriver::ComponentItem, name.c_str(), name.c_str(), L"Unit.pas", 1);
        add(group, item);
        Release(item);
      }
      add(root, group);
      Release(group);
    }
    Manager = Export<PaletteManagerDriver::NewManagerFn>(Delphi, PaletteManagerDriver::Export::NewManager)(root);
    Release(root);
  }
  ~TPalette() { Export<PaletteManagerDriver::FreeManagerFn>(Delphi, PaletteManagerDriver::Export::FreeManager)(Manager); }
};

struct TMeasure {
  double Seconds = 0;
  std::uint64_t Result = 0;
  std::uint64_t Extra = 0;
};

TMeasure FindLastItem(int groups) {
  TPalette palette(groups, 50);
  auto find = Export<PaletteManagerDriver::FindItemFn>(Delphi, PaletteManagerDriver::Export::FindItem);
  auto queries = Export<PaletteDriver::CountFn>(Core, PaletteDriver::Export::QueryCount);
  wchar_t* name = g_rtl->NewString(L"TComp" + std::to_wstring(groups - 1) + L"_49");
  wchar_t* unit = g_rtl->NewString(L"Unit.pas");
  TMeasure m;
  const std::uint32_t before = queries();
  m.Seconds = Seconds([&] {
    for (int n = 0; n < 1000; ++n) {
      void* found = nullptr;
      find(palette.Manager, name, unit, &found, nullptr, 1);
      m.Result += found != nullptr;
      Release(found);
    }
  });
  m.Extra = queries() - before;
  g_rtl->Release(name);
  g_rtl->Release(unit);
  return m;
}

// FillTabs over `items` items (groups of 50). Unpatched, the host's tool bar
// asks FindComponentGroupName per item, each call walking the whole palette:
// past `fullLimit` items its time is extrapolated from `sample` calls, whose
// answers are kept for the comparison.
TMeasure FillTabs(int items, int fullLimit, int sample) {
  TPalette palette(items / 50, 50);
  TMeasure m;
  void* bar = Export<ToolbarDriver::NewFn>(Bar, ToolbarDriver::Export::New)();
  if (g_patched || items <= fullLimit) {
    m.Seconds = Seconds([&] { Export<ToolbarDriver::FrameFn>(Bar, ToolbarDriver::Export::Fill)(bar); });
    m.Result = Export<ToolbarDriver::CounterFn>(Bar, ToolbarDriver::Export::Checksum)(bar);
  } else {
    auto nameOf = Export<ToolbarDriver::GroupNameOfFn>(Bar, ToolbarDriver::Export::GroupNameOf);
    wchar_t buffer[64];
    m.Seconds = Seconds([&] {
      for (int i = 0; i < sample; ++i) {
        int g = (i * 7919) % (items / 50);
        nameOf(bar, (L"TComp" + std::to_wstring(g) + L"_" + std::to_wstring(i % 50)).c_str(), buffer, 64);
        m.Extra = m.Extra * 31 + std::hash<std::wstring>()(buffer);
      }
    }) * items / sample;
    m.Result = 0;  // extrapolated: compared through the sampled answers
  }
  Export<ToolbarDriver::FrameFn>(Bar, ToolbarDriver::Export::Free)(bar);
  return m;
}

// The sampled answers as the patched dictionary gives them (inside FillTabs
// only): the group names follow from the palette's construction.
std::uint64_t SampledAnswers(int items, int sample) {
  std::uint64_t h = 0;
  for (int i = 0; i < sample; ++i) {
    int g = (i * 7919) % (items / 50);
    h = h * 31 + std::hash<std::wstring>()(L"Group" + std::to_wstring(g));
  }
  return h;
}

// ---- string hash tables --------------------------------------------------------------------

struct TTableStats {
  double LookupsPerSecond = 0;
  double SumOfSquares = 0;
  std::uint32_t Longest = 0;
  std::uint64_t Found = 0;
};

TTableStats StringTable(int keys) {
  const std::uint32_t buckets = std::uint32_t(keys) | 1;
  void* table = Export<HashTableDriver::NewTableFn>(Vcl, HashTableDriver::Export::NewTable)(0, buckets);
  auto add = Export<HashTableDriver::AddFn>(Vcl, HashTableDriver::Export::Add);
  auto find = Export<HashTableDriver::FindFn>(Vcl, HashTableDriver::Export::Find);
  std::vector<wchar_t*> names;
  for (int i = 0; i < keys; ++i) names.push_back(g_rtl->NewString(L"TForm" + std::to_wstring(i % 97) + L".Control" + std::to_wstring(i)));
  for (int i = 0; i < keys; ++i) add(table, names[size_t(i)], reinterpret_cast<void*>(std::intptr_t(i + 1)));
  TTableStats s;
  HashTableDriver::ChainStats chains;
  Export<HashTableDriver::ChainStatsFn>(Vcl, HashTableDriver::Export::ChainStats)(table, &chains);
  s.SumOfSquares = chains.SumOfSquares;
  s.Longest = chains.Longest;
  const int lookups = std::max(keys, 200000);
  double seconds = Seconds([&] {
    for (int n = 0; n < lookups; ++n) s.Found += reinterpret_cast<std::uintptr_t>(find(table, names[size_t(n % keys)]));
  });
  s.LookupsPerSecond = lookups / seconds;
  Export<HashTableDriver::FreeTableFn>(Vcl, HashTableDriver::Export::FreeTable)(table);
  for (wchar_t*& n : names) g_rtl->Release(n);
  return s;
}

// ---- uses lists and MSBuild groups ------------------------------------------------------------

struct TPhases {
  double Fill = 0, Find = 0, Clear = 0;
  std::uint64_t Result = 0;
};

TPhases UsesList(int units) {
  auto newEntry = Export<UsesEntryDriver::NewFn>(Core, UsesEntryDriver::Export::New);
  auto newList = Export<UsesListDriver::NewFn>(Delphi, UsesListDriver::Export::New);
  auto add = Export<UsesListDriver::ItemFn>(Delphi, UsesListDriver::Export::Add);
  auto find = Export<UsesListDriver::FindFn>(Delphi, UsesListDriver::Export::Find);
  auto clear = Export<UsesListDriver::ListFn>(Delphi, UsesListDriver::Export::Clear);
  auto count = Export<UsesListDriver::ListFn>(Delphi, UsesListDriver::Export::Count);
  void* list = newList();
  std::vector<void*> entries;
  std::vector<std::wstring> names, files;
  for (int i = 0; i < units; ++i) {
    names.push_back(L"Proj.Unit" + std::to_wstring(i));
    files.push_back(L"C:\\Proj\\Src\\" + names.back() + L".pas");
    entries.push_back(newEntry(names.back().c_str(), files.back().c_str()));
  }
  TPhases p;
  p.Fill = Seconds([&] { for (void* e : entries) add(list, e); });
  p.Find = Seconds([&] {
    for (int i = 0; i < units; ++i) {
      const bool absent = i % 10 == 0;
      void* found = find(list, absent ? L"Proj.Absent" : names[size_t(i)].c_str(), files[size_t(i)].c_str(), 0);
      p.Result = p.Result * 31 + (found ? std::uint64_t(i + 1) : 0);
    }
  });
  p.Clear = Seconds([&] { clear(list); });
  p.Result = p.Result * 31 + std::uint64_t(count(list));
  Export<UsesListDriver::ListFn>(Delphi, UsesListDriver::Export::Free)(list);
  for (void* e : entries) g_rtl->objectFree(e);
  return p;
}

TPhases Group(int children) {
  void* group = Export<MsbNodesDriver::NewGroupFn>(Core, MsbNodesDriver::Export::NewItemGroup)();
  auto addItem = Export<MsbNodesDriver::AddItemFn>(Core, MsbNodesDriver::Export::AddItem);
  auto clear = Export<MsbNodesDriver::NodeClearFn>(Core, MsbNodesDriver::Export::NodeClear);
  auto count = Export<MsbNodesDriver::CountFn>(Core, MsbNodesDriver::Export::ChildCount);
  auto alive = Export<MsbNodesDriver::CounterFn>(Core, MsbNodesDriver::Export::NodesAlive);
  std::vector<wchar_t*> names;
  for (int i = 0; i < children; ++i) names.push_back(g_rtl->NewString(L"Src\\Unit" + std::to_wstring(i) + L".pas"));
  TPhases p;
  p.Fill = Seconds([&] { for (wchar_t* n : names) addItem(group, n, nullptr); });
  p.Result = std::uint64_t(count(group));
  p.Clear = Seconds([&] { clear(group); });
  p.Result = p.Result * 31 + std::uint64_t(count(group)) * 7 + std::uint64_t(alive());
  g_rtl->objectFree(group);
  for (wchar_t*& n : names) g_rtl->Release(n);
  return p;
}

// ---- the run --------------------------------------------------------------------------------

struct TRow {
  std::string Label;
  double Off = 0, On = 0;
  bool Equal = true;
  std::string Note = {};
};

double Ratio(double off, double on) { return on > 0 ? off / on : 0; }

void Print(const TRow& r, double goal = 0) {
  std::printf("  %-34s %11.2f ms %11.2f ms %8.1fx  %s%s\n", r.Label.c_str(), r.Off * 1e3, r.On * 1e3, Ratio(r.Off, r.On),
              r.Equal ? "identical" : "DIFFERENT", r.Note.c_str());
  if (goal > 0 && Ratio(r.Off, r.On) < goal) std::printf("  %-34s below the goal of %.0fx\n", "", goal);
}

void Install() {
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
  Quillmend::InstallInterfaceSpeedFix();
  Quillmend::InstallCollectionOptimization();
  Quillmend::InstallUsesListClearOptimization();
  Quillmend::InstallMsbNodesOptimization();
  Quillmend::BorlandIDEServices = Export<PaletteManagerDriver::ServicesFn>(Delphi, PaletteManagerDriver::Export::Services)();
  Quillmend::InstallCompToolbarSpeedFix();
  Quillmend::InstallToolUtilNotifierOptimization();
  g_patched = true;
}

}  // namespace

int main() {
  wchar_t path[MAX_PATH];
  std::wstring exe(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  std::wstring build = exe.substr(0, exe.find_last_of(L'\\'));
  build = build.substr(0, build.find_last_of(L'\\'));
  for (const wchar_t* module : {L"rtl150.bpl", L"vclide150.bpl", L"coreide150.bpl", L"delphicoreide150.bpl",
                                L"comptoolbar150.bpl", L"designide150.bpl"})
    if (!LoadLibraryW((build + L"\\host\\" + module).c_str())) {
      std::fwprintf(stderr, L"cannot load %ls\n", module);
      return 1;
    }
  g_rtl = QmHost::LoadedHostRtl();

  // Every measurement runs on the stand-in packages first, then again with the patches installed.
  const int paletteGroups[] = {10, 100, 400};
  const int tabItems[] = {1000, 5000, 20000};
  const int tableKeys[] = {5000, 50000, 500000};
  const int unitCounts[] = {1000, 5000, 20000};
  const int childCounts[] = {2000, 20000, 100000};
  constexpr int FullFillLimit = 5000, Sample = 400;
  std::vector<TMeasure> finds[2], tabs[2];
  std::vector<TTableStats> tables[2];
  std::vector<TPhases> uses[2], groups[2];
  for (int pass = 0; pass < 2; ++pass) {
    if (pass == 1) Install();
    std::printf("%s pass...\n", Mode());
    std::fflush(stdout);
    for (int g : paletteGroups) finds[pass].push_back(FindLastItem(g));
    for (int n : tabItems) tabs[pass].push_back(FillTabs(n, FullFillLimit, Sample));
    for (int k : tableKeys) tables[pass].push_back(StringTable(k));
    for (int u : unitCounts) uses[pass].push_back(UsesList(u));
    for (int c : childCounts) groups[pass].push_back(Group(c));
  }

  std::printf("\n  %-34s %14s %14s %9s  %s\n", "", "disabled", "enabled", "ratio", "results");
  std::printf("FindItem of the last item x1,000 (goal >= 5x, one query per class per search)\n");
  for (size_t i = 0; i < 3; ++i) {
    TRow r{std::to_string(paletteGroups[i]) + " groups of 50", finds[0][i].Seconds, finds[1][i].Seconds,
           finds[0][i].Result == finds[1][i].Result};
    r.Note = "  queries " + std::to_string(finds[0][i].Extra) + " -> " + std::to_string(finds[1][i].Extra);
    Print(r, 5);
  }
  std::printf("FillTabs (goal >= 20x at 20,000 items)\n");
  for (size_t i = 0; i < 3; ++i) {
    const bool sampled = tabItems[i] > FullFillLimit;
    TRow r{std::to_string(tabItems[i]) + " items", tabs[0][i].Seconds, tabs[1][i].Seconds,
           sampled ? tabs[0][i].Extra == SampledAnswers(tabItems[i], Sample) : tabs[0][i].Result == tabs[1][i].Result};
    if (sampled) r.Note = "  (disabled: " + std::to_string(Sample) + " of the calls timed, scaled; their answers compared)";
    Print(r, i == 2 ? 20 : 0);
  }
  std::printf("String hash tables (goal: chains within 10%% of an ideal hash's)\n");
  for (size_t i = 0; i < 3; ++i) {
    const double n = tableKeys[i], b = double(std::uint32_t(tableKeys[i]) | 1);
    const double ideal = n + n * (n - 1) / b;  // expected sum of squared chain lengths, uniform hashing
    std::printf("  %-8d keys  sum of squared chains / ideal: %.2f -> %.2f   longest %u -> %u   look-ups/s %.0f -> %.0f  %s\n",
                tableKeys[i], tables[0][i].SumOfSquares / ideal, tables[1][i].SumOfSquares / ideal, tables[0][i].Longest,
                tables[1][i].Longest, tables[0][i].LookupsPerSecond, tables[1][i].LookupsPerSecond,
                tables[0][i].Found == tables[1][i].Found ? "identical" : "DIFFERENT");
  }
  std::printf("Uses lists (goal >= 20x for clear at 20,000)\n");
  for (size_t i = 0; i < 3; ++i) {
    const bool equal = uses[0][i].Result == uses[1][i].Result;
    std::string n = std::to_string(unitCounts[i]);
    Print({n + " entries: fill", uses[0][i].Fill, uses[1][i].Fill, equal});
    Print({n + " entries: look-up (10% absent)", uses[0][i].Find, uses[1][i].Find, equal});
    Print({n + " entries: clear", uses[0][i].Clear, uses[1][i].Clear, equal}, i == 2 ? 20 : 0);
  }
  std::printf("MSBuild item groups (goal >= 20x for clear at 20,000)\n");
  for (size_t i = 0; i < 3; ++i) {
    const bool equal = groups[0][i].Result == groups[1][i].Result;
    std::string n = std::to_string(childCounts[i]);
    Print({n + " children: add", groups[0][i].Fill, groups[1][i].Fill, equal});
    Print({n + " children: clear", groups[0][i].Clear, groups[1][i].Clear, equal}, i == 1 ? 20 : 0);
  }
  return 0;
}
