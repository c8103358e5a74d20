// The "symbols" phase of the compiler workload: names looked up through the
// compiler's outer lookup over a scope of 20 units, three of which declare
// five symbols per loaded unit. Names present, absent, in another ASCII
// case, and names whose symbols take no part in lookups; each is copied into
// the compiler's one name buffer first, as the compiler reuses its buffer.
// Between the two halves of the lookups the three large units are freed and
// loaded again, so their records are reused.
#include "DccContexts.h"
#include "DccDriver.h"
#include "DccHost.h"
#include "DccQueries.h"
#include "DccReferences.h"

#include <cstdio>
#include <cstring>
#include <type_traits>
#include <string>
#include <vector>

using namespace Dcc;

#define DCC_EXPORT extern "C"

namespace {

constexpr int ScopeUnits = 20;
constexpr int LargeScopeUnits = 3;
constexpr int LargePositions[LargeScopeUnits] = {5, 11, 17};
constexpr int SymbolsPerLoadedUnit = 5;
constexpr uint32_t Missing = 0xFFFFFFFFu;

struct TRandom {
  uint32_t State;
  uint32_t Next() {
    State = State * 1664525u + 1013904223u;
    return State >> 8;
  }
  uint32_t Below(uint32_t n) { return n ? Next() % n : 0; }
};

std::vector<std::string> g_names;
std::vector<uint8_t> g_hashBytes;  // each name's one-byte hash, as the compiler keeps it with the name
char* g_nameBuffer = nullptr;
int g_largeSymbols = 0;

void LargeName(char* out, size_t size, int large, int k) { snprintf(out, size, "Large%d.Decl%06d", large, k); }

// Every 16th symbol of a large unit is of the excluded kind, every 16th
// takes no part in lookups, every 16th has a twin of the same name that the
// qualification refuses and that comes first in its chain.
void GiveLargeSymbols(TUnit* unit, int large) {
  char name[48];
  size_t bytes = 0;
  for (int k = 0; k < g_largeSymbols; ++k) {
    LargeName(name, sizeof name, large, k);
    bytes += SymbolSize(name) * (k % 16 == 12 ? 2 : 1);
  }
  uint8_t* at = static_cast<uint8_t*>(Allocate(unit->Context, bytes));
  const uint32_t base = 0x40000000u + uint32_t(large) * 0x1000000u;
  for (int k = 0; k < g_largeSymbols; ++k) {
    LargeName(name, sizeof name, large, k);
    uint8_t kind = k % 16 == 5 ? 0x19 : 0x05;
    uint8_t flags = k % 16 == 9 ? 0x00 : 0x40;
    TSymbol* symbol = PlaceSymbol(at, name, kind, flags, 0, 0, base + uint32_t(k) * 2);
    at += SymbolSize(name);
    AddSymbol(unit, symbol);
    if (k % 16 == 12) {
      TSymbol* twin = PlaceSymbol(at, name, 0x05, 0x40, 0, 1, base + uint32_t(k) * 2 + 1);
      at += SymbolSize(name);
      AddSymbol(unit, twin);
    }
  }
}

std::string OtherCase(std::string name) {
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = char(c - 0x20);
    else if (c >= 'A' && c <= 'Z') c = char(c + 0x20);
  }
  return name;
}

} // namespace

// Chooses the scope (20 project units in list order, the units at positions
// 5, 11 and 17 given five symbols per loaded unit), the scope owner (SysInit)
// and `count` names. Returns the number of names.
DCC_EXPORT int __stdcall DccPrepareSymbols(int count, uint32_t randomSeed) {
  std::vector<TUnit*> candidates;
  TUnit* sysInit = nullptr;
  int loaded = 0;
  for (TUnit* unit = DccUnitListHead; unit; unit = unit->Next, ++loaded) {
    if (unit->Serial >= 3 && unit->Serial < 100000) candidates.push_back(unit);
    if (unit->Serial == 1) sysInit = unit;
  }
  g_names.clear();
  g_hashBytes.clear();
  DccScopeCount = 0;
  DccScopeOwner = sysInit ? sysInit->UnitSymbol : nullptr;
  if (candidates.size() < size_t(ScopeUnits)) return 0;
  for (int i = 0; i < ScopeUnits; ++i) DccScopeUnits[i] = candidates[candidates.size() * size_t(i) / ScopeUnits];
  DccScopeCount = ScopeUnits;
  g_largeSymbols = SymbolsPerLoadedUnit * loaded;
  for (int large = 0; large < LargeScopeUnits; ++large) GiveLargeSymbols(DccScopeUnits[LargePositions[large]], large);

  // The compiler's name buffer lives in its scratch memory until the compile ends.
  TContext* scratch = NewContext(&DccScratchContexts, ckScratch, 0x5C4A7C40, 4096);
  g_nameBuffer = static_cast<char*>(Allocate(scratch, 256));

  TRandom random{randomSeed};
  char name[64];
  for (int i = 0; i < count; ++i) {
    uint32_t pick = random.Below(100);
    int large = int(random.Below(LargeScopeUnits));
    int k = int(random.Below(uint32_t(g_largeSymbols)));
    if (pick < 40) {
      LargeName(name, sizeof name, large, k);
      g_names.push_back(name);
    } else if (pick < 55) {
      LargeName(name, sizeof name, large, k);
      g_names.push_back(OtherCase(name));
    } else if (pick < 80) {
      snprintf(name, sizeof name, "Absent.Decl%06u", unsigned(random.Below(1000000)));
      g_names.push_back(name);
    } else if (pick < 85) {
      std::string unitName = DccScopeUnits[random.Below(ScopeUnits)]->SourceName;
      g_names.push_back(random.Below(2) ? unitName : OtherCase(unitName));
    } else if (pick < 90) {
      snprintf(name, sizeof name, random.Below(2) ? "Item%u" : "ITEM%u", unsigned(random.Below(8)));
      g_names.push_back(name);
    } else {
      // Names whose symbols take no part in lookups.
      LargeName(name, sizeof name, large, (k & ~15) + (random.Below(2) ? 5 : 9));
      g_names.push_back(name);
    }
  }
  g_hashBytes.clear();
  for (const std::string& n : g_names) g_hashBytes.push_back(uint8_t(HostNameHashByte(n.c_str())));
  return int(g_names.size());
}

// Looks up names [first, first + count) through the outer lookup; each
// answer (its creation number and whether a scope unit gave it) goes into
// the checksum. Returns how many were found.
DCC_EXPORT int __stdcall DccRunSymbolLookups(int first, int count) {
  int found = 0;
  int end = first + count > int(g_names.size()) ? int(g_names.size()) : first + count;
  for (int i = first; i < end; ++i) {
    strcpy(g_nameBuffer, g_names[size_t(i)].c_str());
    uint8_t byScope = 0;
    TSymbol* symbol = DccScopeLookup(g_hashBytes[size_t(i)], g_nameBuffer, &byScope);
    found += symbol != nullptr;
    MixAnswer(symbol ? symbol->Index : Missing);
    MixAnswer(byScope);
  }
  return found;
}

// Frees the three large scope units through the compiler's unit release and
// loads them again with their symbols, in the scope's places.
DCC_EXPORT void __stdcall DccReloadLargeScopeUnits() {
  if (DccScopeCount < ScopeUnits) return;
  for (int large = 0; large < LargeScopeUnits; ++large) {
    TUnit*& slot = DccScopeUnits[LargePositions[large]];
    uint32_t serial = slot->Serial;
    HostUnitFree(slot);
    slot = LoadProjectUnit(serial);
    GiveLargeSymbols(slot, large);
  }
}

// The definitions agree with the driver header.
using Declared = DccDriver::Driver<TUnit, TContext, TSymbol>;
static_assert(std::is_same_v<decltype(&DccPrepareSymbols), Declared::PrepareSymbolsFn> &&
                  std::is_same_v<decltype(&DccRunSymbolLookups), Declared::RunSymbolLookupsFn> &&
                  std::is_same_v<decltype(&DccReloadLargeScopeUnits), Declared::ReloadLargeScopeUnitsFn> &&
                  std::is_same_v<decltype(&DccScopeLookup), Declared::ScopeLookupFn>,
              "symbol lookup exports differ from DccDriver.h");
