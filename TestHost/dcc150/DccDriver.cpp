// The stand-in compiler's driver interface (declared in DccDriver.h):
// exports through which bds.exe, a test or the benchmark runs a compiler
// workload over the unit bookkeeping routines, and a checksum of the
// resulting unit graph. Every step goes through the routines' normal entry
// points, so a redirected routine changes what runs.
#include "DccDriver.h"
#include "DccContexts.h"
#include "DccHost.h"
#include "DccMemory.h"
#include "DccQueries.h"

#include "Common/SearchedSites.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>
#include <windows.h>

using namespace Dcc;

// Exported through DccDriver.def.
#define DCC_EXPORT extern "C"

namespace {

struct TRandom {
  uint32_t State;
  uint32_t Next() {
    State = State * 1664525u + 1013904223u;
    return State >> 8;
  }
  uint32_t Below(uint32_t n) { return Next() % n; }
};

struct TProjectUnit {
  std::string Name;
  std::vector<std::string> Imports;
};

std::vector<TProjectUnit> g_project;
uint32_t g_lookupSum = 0;  // results of the lookups made since the project was loaded
TSymbol* g_queries[8] = {};

// Kinds of the symbols "Item0".."Item7" every unit declares, and of the
// symbols an importer resolves against them.
constexpr uint8_t ItemKinds[8] = {0x05, 0x14, 0x0B, 0x19, 0x05, 0x14, 0x0A, 0x05};
constexpr uint8_t QueryKinds[8] = {0x05, 0x14, 0x0B, 0x14, 0x0C, 0x14, 0x05, 0x07};
constexpr uint32_t PackageSerial = 100000;
constexpr uint32_t RecordSerial = 200000;
constexpr uint32_t Missing = 0xFFFFFFFFu;

uint32_t Mix(uint32_t h, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    h ^= (value >> (8 * i)) & 0xFF;
    h *= 16777619u;
  }
  return h;
}

void EnsureQueries() {
  if (g_queries[0]) return;
  char name[16];
  for (int j = 0; j < 8; ++j) {
    snprintf(name, sizeof name, "Item%d", j);
    g_queries[j] = NewSymbol(name, QueryKinds[j], 0x40, 0, 0, 0);
  }
}

const char* const ItemNames[8] = {"Item0", "Item1", "Item2", "Item3", "Item4", "Item5", "Item6", "Item7"};

// "U" + five digits + "_Local".
void LocalName(char* out, uint32_t index) {
  out[0] = 'U';
  for (int i = 5; i >= 1; --i, index /= 10) out[i] = char('0' + index % 10);
  std::memcpy(out + 6, "_Local", 7);
}

// Bytes of a unit's symbol block.
size_t SymbolBytes(const char* unitName) {
  size_t bytes = SymbolSize(unitName) + SymbolSize("U00000_Local");
  for (const char* item : ItemNames) bytes += SymbolSize(item);
  return bytes;
}

// The unit symbol, the public and private items and one local symbol, all in
// one block owned by the unit.
void GiveSymbols(TUnit* unit) {
  EnsureQueries();
  uint32_t index = unit->Serial;
  char local[16];
  LocalName(local, index);
  // The room reserved with the record was sized by SymbolBytes already.
  size_t bytes = unit->SymbolRoom ? unit->SymbolRoomSize : SymbolBytes(unit->SourceName);
  uint8_t* at = reinterpret_cast<uint8_t*>(NewSymbolBlock(unit, bytes));
  TSymbol* own = PlaceSymbol(at, unit->SourceName, 0x16, 0x40, index % 5 == 0, index % 4 == 3 ? 0x80 : 0,
                             index * 16 + 15);
  at += SymbolSize(unit->SourceName);
  own->Ref = unit;
  AddSymbol(unit, own);
  for (int j = 0; j < 8; ++j) {
    TSymbol* item = PlaceSymbol(at, ItemNames[j], ItemKinds[j], j % 3 != 2 ? 0x40 : 0, (j + index) % 3 == 0,
                                j == 5 ? 0x80 : (j == 2 ? 1 : 0), index * 16 + j);
    at += SymbolSize(ItemNames[j]);
    if (ItemKinds[j] == 0x0A || ItemKinds[j] == 0x0B) item->Ref = index % 2 == 0 ? g_queries[j] : nullptr;
    AddSymbol(unit, item);
  }
  AddSymbol(unit, PlaceSymbol(at, local, 0x05, 0, 0, 0, index * 16 + 8));
  unit->UnitSymbol = own;
}

TUnit* ResolveImport(const char* name) { return DccUnitFind(DccResolveAlias(name)); }

int ImportUnit(TUnit* unit, const char* name, bool copyName = true) {
  TUnit* target = ResolveImport(name);
  AddImportNode(unit, name, target, copyName);
  return target != nullptr;
}

// Loads project unit i: the record is on the unit list before its imports are
// resolved and before its symbols exist, as in the compiler.
void LoadUnit(uint32_t i) {
  const TProjectUnit& p = g_project[i];
  TUnit* unit = NewUnitRecord(p.Name.c_str(), i, uint32_t(p.Imports.size()), SymbolBytes(p.Name.c_str()),
                              TRecordMaker::FirstForm);
  DccUnitAppend(unit);
  // The project's names outlive its units.
  for (const std::string& name : p.Imports) ImportUnit(unit, name.c_str(), false);
  GiveSymbols(unit);
  unit->State = i % 2 ? usCompiled : usLoaded;
  unit->Flags = i % 11 == 0 ? 0x6000 : (i % 3 == 0 ? 0x2000 : 0);
}

TRecordNode* NewRecordNode(const char* name, uint32_t serial, uint8_t state) {
  TUnit* record = NewUnitRecord(name, serial, 3, SymbolBytes(name), TRecordMaker::Unowned);
  GiveSymbols(record);
  record->State = state;
  TRecordNode* node = static_cast<TRecordNode*>(DccAlloc(sizeof(TRecordNode)));
  node->Record = record;
  return node;
}

void AddToList(TRecordNode* node) {
  node->Next = DccRecordList;
  DccRecordList = node;
}

void AddToGroup(TRecordGroup* group, TRecordNode* node) {
  node->Next = group->Chain;
  group->Chain = node;
}

TRecordGroup* NewGroup() {
  TRecordGroup* group = static_cast<TRecordGroup*>(DccAlloc(sizeof(TRecordGroup)));
  TRecordGroup** link = &DccRecordGroups;
  while (*link) link = &(*link)->Next;
  *link = group;
  return group;
}

uint32_t MixUnit(uint32_t h, const TUnit* unit) {
  h = Mix(h, unit->Serial);
  h = Mix(h, unit->State | unit->Flags << 8 | (unit->UnitSymbol ? 1u << 24 : 0));
  for (const TImport* node = unit->Imports; node; node = node->Next) {
    h = Mix(h, node->Flags);
    h = Mix(h, node->Unit ? node->Unit->Serial : Missing);
  }
  return h;
}

} // namespace

TUnit* Dcc::LoadProjectUnit(uint32_t index) {
  LoadUnit(index);
  return DccUnitListTail;
}

// ---- the workload -------------------------------------------------------------

static uint32_t g_loadSeed = 0;  // drives the random choices of the loading step

// Generates the project without loading anything: "System", "SysInit",
// "Variants", then units "Proj.UnitNNNNN" (a few with a non-ASCII name), each
// importing System and up to importCount-1 earlier units, some through
// aliases.
DCC_EXPORT void __stdcall DccPrepareProject(int unitCount, int importCount, uint32_t randomSeed) {
  if (DccUnitListHead) DccUnitFreeAll();
  ClearAliases();
  g_project.assign(unitCount < 3 ? 3 : unitCount, TProjectUnit());
  g_lookupSum = 0;
  ResetQueryAnswers();
  TRandom random{randomSeed};
  uint32_t n = uint32_t(g_project.size());
  char name[48];
  g_project[0].Name = "System";
  g_project[1].Name = "SysInit";
  g_project[2].Name = "Variants";
  g_project[1].Imports = {"System"};
  g_project[2].Imports = {"System"};
  for (uint32_t i = 3; i < n; ++i) {
    snprintf(name, sizeof name, i % 97 == 50 ? "Proj.\xC3\x9Cnit%05u" : "Proj.Unit%05u", unsigned(i));
    g_project[i].Name = name;
    if (i % 40 == 7 && i < 320) {
      snprintf(name, sizeof name, "Alias.Unit%05u", unsigned(i));
      AddAlias(name, g_project[i].Name.c_str());
    }
  }
  for (uint32_t i = 3; i < n; ++i) {
    std::vector<uint32_t> chosen;
    uint32_t wanted = uint32_t(importCount > 1 ? importCount - 1 : 0);
    if (i - 1 <= wanted) {
      for (uint32_t j = 1; j < i; ++j) chosen.push_back(j);
    } else {
      while (chosen.size() < wanted) {
        uint32_t j = 1 + random.Below(i - 1);
        bool known = false;
        for (uint32_t c : chosen) known |= c == j;
        if (!known) chosen.push_back(j);
      }
    }
    TProjectUnit& p = g_project[i];
    p.Imports.push_back("System");
    for (uint32_t j : chosen) {
      if (j % 40 == 7 && j < 320 && random.Below(2)) {
        snprintf(name, sizeof name, "Alias.Unit%05u", unsigned(j));
        p.Imports.push_back(name);
      } else {
        p.Imports.push_back(g_project[j].Name);
      }
    }
  }
  g_loadSeed = random.Next();
}

// Loads the prepared project, then a package of units appended as one chain
// (two of them named like project units) and the records of the two further
// lists. Returns the number of units on the list.
DCC_EXPORT int __stdcall DccLoadPrepared() {
  TRandom random{g_loadSeed};
  uint32_t n = uint32_t(g_project.size());
  char name[48];
  for (uint32_t i = 0; i < n; ++i)
    if (!DccUnitFind(g_project[i].Name.c_str())) LoadUnit(i);

  // A package's units, appended as one chain.
  TUnitChain chain = {};
  uint32_t packageUnits = n / 50 + 2;
  for (uint32_t k = 0; k < packageUnits; ++k) {
    if (k < 2 && n > 16)
      snprintf(name, sizeof name, "%s", g_project[k == 0 ? 5 : 16].Name.c_str());
    else
      snprintf(name, sizeof name, "Pkg.Unit%03u", unsigned(k));
    TUnit* unit = NewUnitRecord(name, PackageSerial + k, 1, SymbolBytes(name));
    ImportUnit(unit, "System");
    GiveSymbols(unit);
    unit->UnitSymbol->Byte2 = 1;
    unit->State = usLoaded;
    unit->Flags = 0x6000;
    if (chain.Last) chain.Last->Next = unit; else chain.First = unit;
    chain.Last = unit;
  }
  DccUnitChainAppend(&chain);

  // Unit-like records outside the unit list that import project units.
  uint32_t serial = RecordSerial;
  for (uint32_t k = 0; k < n / 100 + 1; ++k) {
    snprintf(name, sizeof name, "Design%03u", unsigned(k));
    TRecordNode* node = NewRecordNode(name, serial++, usCompiled);
    for (int m = 0; m < 3; ++m) ImportUnit(node->Record, g_project[random.Below(n)].Name.c_str());
    AddToList(node);
  }
  for (int g = 0; g < 2; ++g) {
    TRecordGroup* group = NewGroup();
    for (uint32_t k = 0; k < n / 200 + 1; ++k) {
      snprintf(name, sizeof name, "Group%d.%03u", g, unsigned(k));
      TRecordNode* node = NewRecordNode(name, serial++, usLoaded);
      for (int m = 0; m < 2; ++m) ImportUnit(node->Record, g_project[random.Below(n)].Name.c_str());
      AddToGroup(group, node);
    }
  }
  int count = 0;
  for (TUnit* unit = DccUnitListHead; unit; unit = unit->Next) ++count;
  return count;
}

DCC_EXPORT int __stdcall DccLoadProject(int unitCount, int importCount, uint32_t randomSeed) {
  DccPrepareProject(unitCount, importCount, randomSeed);
  return DccLoadPrepared();
}

// Marks percent of the project units (not System, SysInit, Variants) outdated:
// alternately state 5 and state 2. Returns how many were marked.
DCC_EXPORT int __stdcall DccMarkOutdated(int percent, uint32_t randomSeed) {
  std::vector<TUnit*> candidates;
  for (TUnit* unit = DccUnitListHead; unit; unit = unit->Next)
    if (unit->Serial >= 3 && unit->Serial < PackageSerial) candidates.push_back(unit);
  size_t count = candidates.size() * size_t(percent) / 100;
  TRandom random{randomSeed};
  for (size_t k = 0; k < count; ++k) {
    size_t pick = k + random.Below(uint32_t(candidates.size() - k));
    std::swap(candidates[k], candidates[pick]);
    candidates[k]->State = k % 2 ? usSourceChanged : usOutdated;
  }
  // A few other units are busy (field 0x160): the compiler's unlinking
  // passes over them, so their links to freed units stay until it is done.
  for (size_t k = count; k < candidates.size(); k += 25) candidates[k]->Busy = 1;
  return int(count);
}

// Frees the outdated units through the compiler's reset routine; then the
// busy units are done: their links to units freed meanwhile are cut.
DCC_EXPORT void __stdcall DccReset() {
  DccResetUnits(1, 0, 0);
  for (TUnit* unit = DccUnitListHead; unit; unit = unit->Next) {
    if (!unit->Busy) continue;
    for (TImport* node = unit->Imports; node; node = node->Next)
      if (node->Unit && !HostUnitIsLive(node->Unit)) {
        node->Unit = nullptr;
        node->Flags |= 1;
      }
    unit->Busy = 0;
  }
}

// A recompile after a CodeInsight compile: unit reset, reload of freed
// project units, relinking, the check whether units may stay loaded, then
// scope and imported-symbol lookups over every unit. Returns 1 if the units
// were discarded.
DCC_EXPORT int __stdcall DccRecompile() {
  // A unit being loaded has no symbols yet; a compiled unit already links to it.
  TUnit* pending = NewUnitRecord("Proj.Pending", PackageSerial - 1);
  DccUnitAppend(pending);
  TUnit* importer = nullptr;
  for (TUnit* unit = DccUnitListHead; unit; unit = unit->Next)
    if (unit->State > usOutdated && unit->Serial >= 3 && unit->Serial < PackageSerial) importer = unit;
  if (importer) AddImportNode(importer, "Proj.Pending", pending, true);
  DccKibitzUnitReset();
  GiveSymbols(pending);
  for (uint32_t i = 0; i < g_project.size(); ++i)
    if (!DccUnitFind(g_project[i].Name.c_str())) LoadUnit(i);
  for (TUnit* unit = DccUnitListHead; unit; unit = unit->Next) {
    if (unit->State > usOutdated) continue;
    for (TImport* node = unit->Imports; node; node = node->Next) {
      if (node->Unit) continue;
      node->Unit = ResolveImport(node->Name);
      node->Flags &= ~1;
    }
    unit->State = usCompiled;
  }

  static char lastOptions[] = "DEBUG;MSWINDOWS", options[] = "DEBUG;MSWINDOWS", platform[] = "Win32";
  DccOptions[0] = lastOptions;
  DccOptions[1] = options;
  DccOptions[2] = DccOptions[3] = nullptr;
  DccOptions[4] = DccOptions[5] = platform;
  int discarded = DccAfterCompile(0, 0);
  g_lookupSum = Mix(g_lookupSum, uint32_t(discarded));

  char name[32];
  uint32_t k = 0;
  for (TUnit* unit = DccUnitListHead; unit; unit = unit->Next, ++k) {
    DccCurrentUnit = k & 1 ? unit : nullptr;
    for (int j = 0; j < 9; ++j) {
      if (j < 8) snprintf(name, sizeof name, "Item%d", j);
      else snprintf(name, sizeof name, "U%05u_Local", unsigned(unit->Serial));
      TSymbol* found = DccSymLookupScope(unit->Chains, int(HostNameHashByte(name)), name);
      g_lookupSum = Mix(g_lookupSum, found ? found->Index : Missing);
    }
    int used = 0;
    for (TImport* node = unit->Imports; node && used < 4; node = node->Next) {
      TUnit* imported = node->Unit;
      if (!imported) continue;
      ++used;
      for (int j = 0; j < 4; ++j) {
        snprintf(name, sizeof name, "Item%d", j);
        TSymbol* found = DccSymLookupScope(imported->Chains, int(HostNameHashByte(name)), name);
        g_lookupSum = Mix(g_lookupSum, found ? found->Index : Missing);
      }
      DccImportUnit = imported;
      for (int j = 0; j < 8; ++j) {
        TSymbol* found = DccImportedSymbol(g_queries[j], unit->UnitSymbol);
        g_lookupSum = Mix(g_lookupSum, found ? found->Index : Missing);
      }
    }
  }
  DccCurrentUnit = nullptr;
  DccImportUnit = nullptr;
  return discarded;
}

// ---- looking units up by name ---------------------------------------------------

namespace {

// Names the lookup phase asks for, in the order it asks; owned copies, since
// some are spelled differently from the unit they name.
std::vector<std::string> g_lookups;

// ASCII letters only: the compiler's name comparison and its one-byte name
// hash ignore the case of ASCII letters, not that of other characters.
std::string WithCase(std::string name, bool upper) {
  for (char& c : name) {
    if (upper && c >= 'a' && c <= 'z') c = char(c - 0x20);
    if (!upper && c >= 'A' && c <= 'Z') c = char(c + 0x20);
  }
  return name;
}

} // namespace

// Prepares the lookups that code insight and the compiler make while they
// resolve unit references in the loaded project: every unit's name once and
// each of its import names once, one in eight of them in upper or lower case,
// plus one name in eight that no loaded unit has (the same shape as the
// project's names, so a list walk cannot tell it apart early); shuffled by
// the random start value. Returns how many names there are; *misses counts the absent ones.
DCC_EXPORT int __stdcall DccPrepareLookups(uint32_t randomSeed, int* misses) {
  TRandom random{randomSeed};
  g_lookups.clear();
  uint32_t units = 0;
  for (TUnit* unit = DccUnitListHead; unit; unit = unit->Next, ++units) {
    g_lookups.push_back(unit->SourceName);
    for (TImport* node = unit->Imports; node; node = node->Next) g_lookups.push_back(node->Name);
  }
  for (std::string& name : g_lookups)
    if (random.Below(8) == 0) name = WithCase(name, random.Below(2) == 0);
  uint32_t absent = uint32_t(g_lookups.size()) / 8;
  char name[48];
  for (uint32_t k = 0; k < absent; ++k) {
    // Unit numbers past the project's: never loaded.
    snprintf(name, sizeof name, k % 3 == 2 ? "Proj.Missing%05u" : "Proj.Unit%05u",
             unsigned(g_project.size() + units + k));
    g_lookups.push_back(name);
  }
  for (size_t k = g_lookups.size(); k > 1; --k) std::swap(g_lookups[k - 1], g_lookups[random.Below(uint32_t(k))]);
  if (misses) *misses = int(absent);
  return int(g_lookups.size());
}

// Looks the prepared names up as the compiler resolves a unit reference
// (alias, then the find routine). The identity of each answer — the unit's
// creation number, not its address — goes into the checksum. Returns how
// many names were found.
DCC_EXPORT int __stdcall DccLookupPrepared() {
  int found = 0;
  for (const std::string& name : g_lookups) {
    TUnit* unit = ResolveImport(name.c_str());
    found += unit != nullptr;
    g_lookupSum = Mix(g_lookupSum, unit ? unit->Serial : Missing);
  }
  return found;
}

DCC_EXPORT void __stdcall DccFreeAll() { DccUnitFreeAll(); }

// Releases the compiler's own tables too (aliases, the symbols imports are
// resolved with); they are made again when next needed.
DCC_EXPORT void __stdcall DccReleaseTables() {
  ClearAliases();
  for (TSymbol*& query : g_queries) query = nullptr;
  while (DccTableContexts) FreeContext(DccTableContexts);
}

// Checksum of the unit list (order, states, flags, links), the records of the
// further lists, and the lookups' results.
DCC_EXPORT uint32_t __stdcall DccChecksum() {
  uint32_t h = 2166136261u;
  for (TUnit* unit = DccUnitListHead; unit; unit = unit->Next) h = MixUnit(h, unit);
  for (TRecordNode* node = DccRecordList; node; node = node->Next) h = MixUnit(h, node->Record);
  for (TRecordGroup* group = DccRecordGroups; group; group = group->Next)
    for (TRecordNode* node = group->Chain; node; node = node->Next) h = MixUnit(h, node->Record);
  return Mix(Mix(h, g_lookupSum), QueryAnswers());
}

DCC_EXPORT int __stdcall DccUnitCount() {
  int count = 0;
  for (TUnit* unit = DccUnitListHead; unit; unit = unit->Next) ++count;
  return count;
}

// ---- single steps, for tests ----------------------------------------------------

namespace {
TUnit* g_raiseOnFree = nullptr;  // see DccRaiseOnFree
}

// A new unit appended through the append routine; with symbols if asked.
DCC_EXPORT TUnit* __stdcall DccNewUnit(const char* name, uint32_t serial, int state, int flags, int withSymbols) {
  TUnit* unit = NewUnitRecord(name, serial);
  DccUnitAppend(unit);
  if (withSymbols) GiveSymbols(unit);
  unit->State = uint8_t(state);
  unit->Flags = uint16_t(flags);
  return unit;
}

DCC_EXPORT void __stdcall DccGiveSymbols(TUnit* unit) { GiveSymbols(unit); }

// Adds an import resolved by name (alias, then find); 1 if it was found.
DCC_EXPORT int __stdcall DccImport(TUnit* unit, const char* name) { return ImportUnit(unit, name); }

// A record on further list 1, or in the first group of further list 2.
DCC_EXPORT TUnit* __stdcall DccNewRecord(int list, const char* name, uint32_t serial, int state) {
  TRecordNode* node = NewRecordNode(name, serial, uint8_t(state));
  if (list == 1) {
    AddToList(node);
  } else {
    AddToGroup(DccRecordGroups ? DccRecordGroups : NewGroup(), node);
  }
  return node->Record;
}

// Units with symbols, linked as one chain and appended through the
// chain-append routine; returns the first.
DCC_EXPORT TUnit* __stdcall DccAppendChain(const char* const* names, int count, uint32_t serial) {
  TUnitChain chain = {};
  for (int k = 0; k < count; ++k) {
    TUnit* unit = NewUnitRecord(names[k], serial + uint32_t(k));
    GiveSymbols(unit);
    unit->State = usLoaded;
    if (chain.Last) chain.Last->Next = unit; else chain.First = unit;
    chain.Last = unit;
  }
  DccUnitChainAppend(&chain);
  return chain.First;
}

// Arms the unit-free routine to raise a host exception when it is next asked
// to free this unit (before it touches anything); null disarms. Fires once.
DCC_EXPORT void __stdcall DccRaiseOnFree(TUnit* unit) { g_raiseOnFree = unit; }

DCC_EXPORT void __stdcall DccAddAlias(const char* name, const char* target) { AddAlias(name, target); }

// index 0/1: last/current options, 2/3: defines, 4/5: platform; the text is
// kept as given (the caller keeps it alive), null stays null.
DCC_EXPORT void __stdcall DccSetOption(int index, const char* value) { DccOptions[index] = value; }

// Where a searched routine's bytes begin (its site name, e.g. "UnitFreeAll").
DCC_EXPORT void* __stdcall DccPatternSite(const char* routine) {
  const QmHost::SearchedSite* site = QmHost::FindSearchedSite(routine);
  return site ? site->Address : nullptr;
}

// Every searched routine: site name, variant name and address.
DCC_EXPORT const QmHost::SearchedSite* __stdcall DccPatternSites(int* count) { return QmHost::SearchedSites(count); }

void Dcc::RaiseIfArmedForFree(TUnit* unit) {
  if (!unit || unit != g_raiseOnFree) return;
  g_raiseOnFree = nullptr;
  // A bare host exception: the stand-in has no host run-time to make an
  // exception object, so parameter 1 stays null.
  ULONG_PTR params[7] = {};
  params[0] = reinterpret_cast<ULONG_PTR>(__builtin_return_address(0));
  RaiseException(0x0EEDFADE, EXCEPTION_NONCONTINUABLE, 7, params);
}

// ---- "CompilerCompileCmdLine" -----------------------------------------------------

extern "C" int __stdcall HostCompileCmdLine(const char* commandLine) {
  return DccRecompile();
}

// ---- the definitions agree with the driver header -------------------------------

namespace {

using Declared = DccDriver::Driver<TUnit>;

template <class Defined, class InHeader>
constexpr bool Agrees(Defined, InHeader) {
  return std::is_same_v<Defined, InHeader>;
}

static_assert(Agrees(&DccPrepareProject, Declared::PrepareProjectFn()) &&
                  Agrees(&DccLoadPrepared, Declared::LoadPreparedFn()) &&
                  Agrees(&DccLoadProject, Declared::LoadProjectFn()) &&
                  Agrees(&DccPrepareLookups, Declared::PrepareLookupsFn()) &&
                  Agrees(&DccLookupPrepared, Declared::LookupPreparedFn()) &&
                  Agrees(&DccMarkOutdated, Declared::MarkOutdatedFn()) && Agrees(&DccReset, Declared::ResetFn()) &&
                  Agrees(&DccRecompile, Declared::RecompileFn()) && Agrees(&DccFreeAll, Declared::FreeAllFn()) &&
                  Agrees(&DccChecksum, Declared::ChecksumFn()) && Agrees(&DccUnitCount, Declared::UnitCountFn()),
              "workload exports differ from DccDriver.h");
static_assert(Agrees(&DccNewUnit, Declared::NewUnitFn()) && Agrees(&DccGiveSymbols, Declared::GiveSymbolsFn()) &&
                  Agrees(&DccImport, Declared::ImportFn()) && Agrees(&DccNewRecord, Declared::NewRecordFn()) &&
                  Agrees(&DccAppendChain, Declared::AppendChainFn()) && Agrees(&DccAddAlias, Declared::AddAliasFn()) &&
                  Agrees(&DccSetOption, Declared::SetOptionFn()) &&
                  Agrees(&DccRaiseOnFree, Declared::RaiseOnFreeFn()) &&
                  Agrees(&DccPatternSite, Declared::PatternSiteFn()) &&
                  Agrees(&DccPatternSites, Declared::PatternSitesFn()),
              "single-step exports differ from DccDriver.h");
static_assert(Agrees(&DccUnitFind, Declared::UnitFindFn()) && Agrees(&DccUnitRemove, Declared::UnitRemoveFn()) &&
                  Agrees(&DccUnitAppend, Declared::UnitAppendFn()) &&
                  Agrees(&DccUnlinkImports, Declared::UnlinkImportsFn()) &&
                  Agrees(&DccAfterCompile, Declared::AfterCompileFn()),
              "compiler routines differ from DccDriver.h");
static_assert(Agrees(&DccReleaseTables, Declared::ReleaseTablesFn()), "DccReleaseTables differs from DccDriver.h");

} // namespace
