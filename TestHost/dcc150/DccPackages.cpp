// The stand-in compiler's package bookkeeping in C++: what the package
// routines of DccPackages.S call (load from the catalog, release, the full
// walk and the head probe of the package-of-unit routine, the error report),
// and the package driver (DccPackageDriver.h): the catalog, the "packages"
// workload's steps and its checksum. Every step goes through the routines'
// entry points, so a patched routine changes what runs.
#include "DccPackageDriver.h"
#include "DccPackages.h"
#include "DccMemory.h"
#include "DccRecords.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>
#include <windows.h>

using namespace Dcc;

#define DCC_EXPORT extern "C"

namespace {

struct TCatalogUnit {
  std::string Name;
  uint32_t Flags;
};
struct TCatalogPackage {
  std::string Name;
  std::vector<TCatalogUnit> Units;
};

std::vector<TCatalogPackage> g_catalog;
std::unordered_map<std::string, size_t> g_catalogIndex;  // ASCII-lower-case name → catalog entry
std::vector<std::string> g_errors;                       // reports of the duplicate check, in order
std::vector<std::string> g_unitQueries, g_nameQueries;
uint32_t g_querySum = 0;
constexpr uint32_t Missing = 0xFFFFFFFFu;

struct TRandom {
  uint32_t State;
  uint32_t Next() {
    State = State * 1664525u + 1013904223u;
    return State >> 8;
  }
  uint32_t Below(uint32_t n) { return Next() % n; }
};

uint32_t Mix(uint32_t h, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    h ^= (value >> (8 * i)) & 0xFF;
    h *= 16777619u;
  }
  return h;
}

uint32_t TextHash(const std::string& text) {
  uint32_t h = 2166136261u;
  for (unsigned char c : text) h = (h ^ c) * 16777619u;
  return h;
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = char(c + 0x20);
  return text;
}

std::string WithCase(std::string text, bool upper) {
  for (char& c : text) {
    if (upper && c >= 'a' && c <= 'z') c = char(c - 0x20);
    if (!upper && c >= 'A' && c <= 'Z') c = char(c + 0x20);
  }
  return text;
}

TPackageUnit* NewPackageUnit(const std::string& name, uint32_t flags) {
  auto* unit = static_cast<TPackageUnit*>(DccAlloc(offsetof(TPackageUnit, Name) + name.size() + 1));
  unit->Flags = flags;
  std::memcpy(unit->Name, name.c_str(), name.size() + 1);
  return unit;
}

uint32_t Serial(const TPackage* package) { return package ? package->Serial : Missing; }

// The SysInit test of the package-of-unit routine compares hash bytes first.
const bool g_sysInitHashSet = [] {
  DccSysInitHash = uint8_t(HostNameHashByte("SysInit"));
  return true;
}();

} // namespace

// ---- what the package routines call ---------------------------------------------------

extern "C" {

// Reads the package's catalog entry; its units are chained in catalog order
// while the record is marked as loading. Nil for a name the catalog lacks.
TPackage* QM_HOST_REGISTER HostLoadPackage(const char* name) {
  auto found = g_catalogIndex.find(Lower(name));
  if (found == g_catalogIndex.end()) return nullptr;
  const TCatalogPackage& entry = g_catalog[found->second];
  auto* package = static_cast<TPackage*>(DccAlloc(sizeof(TPackage)));
  package->Serial = uint32_t(found->second);
  package->Flags = pfLoading;
  std::snprintf(package->Name, sizeof package->Name, "%s", entry.Name.c_str());
  TPackageUnit** link = &package->Units;
  for (const TCatalogUnit& unit : entry.Units) {
    *link = NewPackageUnit(unit.Name, unit.Flags);
    link = &(*link)->Next;
    ++package->UnitCount;
  }
  package->Flags &= ~pfLoading;
  return package;
}

void QM_HOST_REGISTER HostFreePackage(TPackage* package) {
  for (TPackageUnit* unit = package->Units; unit;) {
    TPackageUnit* next = unit->Next;
    DccFree(unit);
    unit = next;
  }
  if (DccLastProbeMiss == package) DccLastProbeMiss = nullptr;
  std::memset(package, 0xDD, sizeof(TPackage));
  DccFree(package);
}

TPackage* QM_HOST_REGISTER HostProbeHeadPackage(const char* unitName, TPackage* head) {
  if (head->Flags & pfUnloading) return nullptr;
  for (TPackageUnit* unit = head->Units; unit; unit = unit->Next)
    if (DccNameCompare(unit->Name, unitName) == 0) return head;
  DccLastProbeMiss = head;
  return nullptr;
}

TPackage* QM_HOST_REGISTER HostUnitPackageWalk(const char* unitName) {
  DccUnitProbeStamp = DccPackageListStamp;
  for (TPackage* package = DccPackageListHead; package; package = package->Next) {
    if (package->Flags & pfUnloading) continue;
    for (TPackageUnit* unit = package->Units; unit; unit = unit->Next)
      if (DccNameCompare(unit->Name, unitName) == 0) return package;
  }
  return nullptr;
}

void __cdecl HostPackageAssert(const char* text, const char* file, int line) {
  ULONG_PTR params[7] = {};
  params[0] = reinterpret_cast<ULONG_PTR>(__builtin_return_address(0));
  RaiseException(0x0EEDFADE, EXCEPTION_NONCONTINUABLE, 7, params);
}

void __cdecl HostPackageError(int number, const char* package, const char* other, const char* unit) {
  g_errors.push_back(std::to_string(number) + "|" + package + "|" + other + "|" + unit);
}

} // extern "C"

// ---- the package driver -----------------------------------------------------------------

DCC_EXPORT uint32_t __stdcall DccDefinePackage(const char* name, const char* const* units, const uint32_t* unitFlags,
                                               int count) {
  TCatalogPackage entry{name, {}};
  for (int i = 0; i < count; ++i) entry.Units.push_back({units[i], unitFlags ? unitFlags[i] : 0});
  g_catalogIndex[Lower(name)] = g_catalog.size();
  g_catalog.push_back(std::move(entry));
  return uint32_t(g_catalog.size() - 1);
}

DCC_EXPORT void __stdcall DccClearPackageCatalog() {
  g_catalog.clear();
  g_catalogIndex.clear();
  g_errors.clear();
  g_querySum = 0;
}

// Packages "Pkg0000".."PkgNNNN": "Pkg0000" holds System and SysInit; every
// package holds its own units, the weakly packaged "Shared.Weak" (flag 0x20)
// and "Shared.PairNNNN", which it shares with the other package of its pair.
DCC_EXPORT void __stdcall DccPreparePackages(int packages, int units, uint32_t randomSeed) {
  if (DccPackageListHead) DccReleasePackages();
  DccClearPackageCatalog();
  (void)randomSeed;
  units = std::max(units, 4);
  char name[64];
  for (int k = 0; k < packages; ++k) {
    std::snprintf(name, sizeof name, "Pkg%04d", k);
    TCatalogPackage entry{name, {}};
    for (int j = 0; j < units - 2; ++j) {
      if (k == 0 && j < 2) {
        entry.Units.push_back({j == 0 ? "System" : "SysInit", 0});
        continue;
      }
      std::snprintf(name, sizeof name, "Pkg%04d.Unit%02d", k, j);
      entry.Units.push_back({name, 0});
    }
    entry.Units.push_back({"Shared.Weak", puWeak});
    std::snprintf(name, sizeof name, "Shared.Pair%04d", k / 2);
    entry.Units.push_back({name, 0});
    g_catalogIndex[Lower(entry.Name)] = g_catalog.size();
    g_catalog.push_back(std::move(entry));
  }
}

DCC_EXPORT int __stdcall DccLoadPackages() {
  const size_t before = g_errors.size();
  for (const TCatalogPackage& entry : g_catalog) {
    TPackage* package = DccFindOrLoadPackage(entry.Name.c_str());
    g_querySum = Mix(g_querySum, Serial(package));
    if (package) DccCheckPackageUnits(package);
  }
  return int(g_errors.size() - before);
}

// Unit names: mostly contained ones (one in eight in another ASCII case), the
// shared ones, System and SysInit, and names no package holds. Package names:
// mostly loaded ones (one in four with a leading '.', one in eight in another
// case), and absent ones.
DCC_EXPORT void __stdcall DccPreparePackageQueries(int unitQueries, int nameQueries, uint32_t randomSeed) {
  TRandom random{randomSeed};
  g_unitQueries.clear();
  g_nameQueries.clear();
  const uint32_t packages = uint32_t(g_catalog.size());
  char name[64];
  for (int i = 0; i < unitQueries && packages; ++i) {
    uint32_t kind = random.Below(20), k = random.Below(packages);
    std::string query;
    if (kind < 14) {
      const TCatalogPackage& entry = g_catalog[k];
      query = entry.Units[random.Below(uint32_t(entry.Units.size()))].Name;
      if (random.Below(8) == 0) query = WithCase(query, random.Below(2) == 0);
    } else if (kind < 16) {
      std::snprintf(name, sizeof name, "Shared.Pair%04u", unsigned(k / 2));
      query = name;
    } else if (kind == 16) {
      query = random.Below(2) ? "SysInit" : "system";
    } else {
      std::snprintf(name, sizeof name, "Pkg%04u.Missing%02u", unsigned(k), unsigned(random.Below(60)));
      query = name;
    }
    g_unitQueries.push_back(query);
  }
  for (int i = 0; i < nameQueries && packages; ++i) {
    uint32_t kind = random.Below(10), k = random.Below(packages);
    std::string query;
    if (kind < 8) {
      query = g_catalog[k].Name;
      if (random.Below(8) == 0) query = WithCase(query, random.Below(2) == 0);
      if (random.Below(4) == 0) query = "." + query;
    } else {
      std::snprintf(name, sizeof name, "Pkg%04u", unsigned(packages + k));
      query = name;
    }
    g_nameQueries.push_back(query);
  }
}

DCC_EXPORT int __stdcall DccRunUnitQueries() {
  int found = 0;
  for (const std::string& query : g_unitQueries) {
    TPackage* package = DccPackageOfUnit(query.c_str());
    found += package != nullptr;
    g_querySum = Mix(g_querySum, Serial(package));
  }
  return found;
}

DCC_EXPORT int __stdcall DccRunPackageNameQueries() {
  int found = 0;
  for (const std::string& query : g_nameQueries) {
    TPackage* package = DccFindPackage(query.c_str());
    found += package != nullptr;
    g_querySum = Mix(g_querySum, Serial(package));
  }
  return found;
}

DCC_EXPORT void __stdcall DccBeginUnloadPackage(TPackage* package) {
  package->Flags |= pfUnloading;
  ++DccPackageListStamp;
}

DCC_EXPORT int __stdcall DccUnloadPackages(int every) {
  std::vector<TPackage*> leaving;
  int position = 0;
  for (TPackage* package = DccPackageListHead; package; package = package->Next, ++position)
    if (every > 0 && position % every == 0) leaving.push_back(package);
  for (TPackage* package : leaving) DccBeginUnloadPackage(package);
  DccRunUnitQueries();
  for (TPackage* package : leaving) DccRemovePackage(package, 0);
  DccRunUnitQueries();
  return int(leaving.size());
}

DCC_EXPORT void __stdcall DccReleaseAllPackages() { DccReleasePackages(); }

// Package list (order, catalog numbers, flags, unit counts), the answers of
// the queries, and the duplicate reports (in any order).
DCC_EXPORT uint32_t __stdcall DccPackageChecksum() {
  uint32_t h = 2166136261u;
  for (TPackage* package = DccPackageListHead; package; package = package->Next) {
    h = Mix(h, package->Serial);
    h = Mix(h, package->Flags);
    h = Mix(h, package->UnitCount);
  }
  uint32_t reports = 0;
  for (const std::string& report : g_errors) reports += TextHash(report);
  h = Mix(h, reports);
  h = Mix(h, uint32_t(g_errors.size()));
  return Mix(h, g_querySum);
}

DCC_EXPORT int __stdcall DccPackageErrorCount() { return int(g_errors.size()); }

DCC_EXPORT const char* __stdcall DccPackageErrorText(int index) {
  return index >= 0 && size_t(index) < g_errors.size() ? g_errors[size_t(index)].c_str() : nullptr;
}

// ---- the definitions agree with the driver header ---------------------------------------

namespace {

using Declared = DccPackageDriver::Driver<TPackage>;

template <class Defined, class InHeader>
constexpr bool Agrees(Defined, InHeader) {
  return std::is_same_v<Defined, InHeader>;
}

static_assert(Agrees(&DccDefinePackage, Declared::DefinePackageFn()) &&
                  Agrees(&DccClearPackageCatalog, Declared::ClearCatalogFn()) &&
                  Agrees(&DccPreparePackages, Declared::PreparePackagesFn()) &&
                  Agrees(&DccLoadPackages, Declared::LoadPackagesFn()) &&
                  Agrees(&DccPreparePackageQueries, Declared::PrepareQueriesFn()) &&
                  Agrees(&DccRunUnitQueries, Declared::RunQueriesFn()) &&
                  Agrees(&DccRunPackageNameQueries, Declared::RunQueriesFn()) &&
                  Agrees(&DccUnloadPackages, Declared::UnloadPackagesFn()) &&
                  Agrees(&DccBeginUnloadPackage, Declared::BeginUnloadFn()) &&
                  Agrees(&DccReleaseAllPackages, Declared::ReleaseAllFn()) &&
                  Agrees(&DccPackageChecksum, Declared::ChecksumFn()) &&
                  Agrees(&DccPackageErrorCount, Declared::ErrorCountFn()) &&
                  Agrees(&DccPackageErrorText, Declared::ErrorTextFn()),
              "package driver exports differ from DccPackageDriver.h");
static_assert(Agrees(&DccFindPackage, Declared::FindPackageFn()) &&
                  Agrees(&DccRemovePackage, Declared::RemovePackageFn()) &&
                  Agrees(&DccReleasePackages, Declared::ReleasePackagesFn()) &&
                  Agrees(&DccFindOrLoadPackage, Declared::FindOrLoadPackageFn()) &&
                  Agrees(&DccPackageOfUnit, Declared::PackageOfUnitFn()) &&
                  Agrees(&DccCheckPackageUnits, Declared::CheckPackageUnitsFn()),
              "package routines differ from DccPackageDriver.h");

} // namespace
