// The stand-in C++ compiler's driver exports (stdcall): steps and workloads
// for tests, benchmarks and the other stand-in modules, over the searched
// routines (called through their exports, so a patched routine is what runs).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>

#include "Comp32xDriver.h"
#include "Comp32xHost.h"
#include "Common/SearchedSites.h"

using namespace Comp32x;

namespace {

uint32_t Fnv(uint32_t h, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    h ^= (value >> (8 * i)) & 0xFF;
    h *= 16777619u;
  }
  return h;
}
constexpr uint32_t FnvStart = 2166136261u;

uint32_t NextRandom(uint32_t& state) {
  state = state * 1103515245u + 12345u;
  return state >> 8;
}

// A C-like identifier of 4 to 19 characters from the seed's stream.
std::string RandomIdentifier(uint32_t& state) {
  static const char first[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_";
  static const char rest[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_0123456789";
  size_t length = 4 + NextRandom(state) % 16;
  std::string name(1, first[NextRandom(state) % (sizeof first - 1)]);
  while (name.size() < length) name += rest[NextRandom(state) % (sizeof rest - 1)];
  return name;
}

}  // namespace

extern "C" {

uint32_t __stdcall Comp32xInternMany(const char* const* names, int32_t count) {
  uint32_t h = FnvStart;
  for (int32_t i = 0; i < count; ++i) h = Fnv(h, Comp32xInternName(names[i])->Serial);
  return h;
}

void __stdcall Comp32xResetNames() {
  std::memset(Comp32xNameTable, 0, sizeof Comp32xNameTable);
  Comp32xNameHash = 0;
  Comp32xNameLength = 0;
  g_nodeSerial = 0;
}

struct ChainStats {
  uint32_t Nodes, NonEmpty, Longest;
};

void __stdcall Comp32xChainStats(ChainStats* stats) {
  *stats = {0, 0, 0};
  for (NameNode* head : Comp32xNameTable) {
    uint32_t length = 0;
    for (NameNode* node = head; node; node = node->Next) ++length;
    stats->Nodes += length;
    if (length) ++stats->NonEmpty;
    if (length > stats->Longest) stats->Longest = length;
  }
}

uint32_t __stdcall Comp32xNodeSerial(const NameNode* node) { return node ? node->Serial : 0; }

uint8_t* __stdcall Comp32xNewContext(int32_t symbols, uint32_t randomSeed) {
  uint8_t* context = NewContext();
  uint32_t state = randomSeed;
  for (int32_t i = 0; i < symbols; ++i) {
    // A running number keeps the names distinct.
    std::string name = RandomIdentifier(state) + "_" + std::to_string(i);
    AddSymbol(context, name.c_str(), NextRandom(state) & 3, int32_t(0x1000 + i));
  }
  return context;
}

void __stdcall Comp32xAddSymbol(uint8_t* context, const char* name, uint32_t flags, int32_t value) {
  AddSymbol(context, name, flags, value);
}

const char* __stdcall Comp32xSymbolName(const uint8_t* context, int32_t index) {
  const Symbol* s = FirstSymbol(context);
  for (; s && index > 0; --index) s = s->Next;
  return s ? s->Name : nullptr;
}

void __stdcall Comp32xSetCurrentContext(uint8_t* context) { Comp32xCurrentContext = context; }

void __stdcall Comp32xSetContextFields(uint8_t* context, uint32_t at192, uint32_t at300) {
  *reinterpret_cast<uint32_t*>(context + ContextLayout::Loaded) = at192;
  *reinterpret_cast<uint32_t*>(context + ContextLayout::HasDebugInfo) = at300;
}

int32_t __stdcall Comp32xLiveContexts() {
  return *reinterpret_cast<int32_t*>(Comp32xState + StateLayout::LiveContexts);
}

int32_t __stdcall Comp32xLookup(const char* name, int32_t flag) {
  NameRecord record = {name, uint32_t(std::strlen(name))};
  return Comp32xSymbolLookup(&record, flag);
}

uint32_t __stdcall Comp32xLocaleHelperCalls() { return g_isLowerCalls + g_toUpperCalls + Comp32xLtolowerCalls; }

void __stdcall Comp32xUseLocaleTable(int32_t use) { Comp32xLocale->UseTable = use ? 1 : 0; }

uint32_t __stdcall Comp32xScanSuffixes(const char* const* texts, int32_t count) {
  uint32_t h = FnvStart;
  for (int32_t i = 0; i < count; ++i) h = Fnv(h, uint32_t(Comp32xScanIntSuffix(texts[i])));
  return h;
}

// Where a searched routine's bytes begin, by its site name (the module's
// site table, from the SEARCHED_ROUTINE declarations).
void* __stdcall Comp32xPatternSite(const char* site) {
  const QmHost::SearchedSite* found = QmHost::FindSearchedSite(site);
  return found ? found->Address : nullptr;
}

}  // extern "C"

// Names interned at load when Comp32xInternAtLoad says so (a compiler that
// has interned before the pack sees it).
static void InternAtLoad() {
  char text[16];
  DWORD n = GetEnvironmentVariableA("Comp32xInternAtLoad", text, sizeof text);
  if (n == 0 || n >= sizeof text) return;
  int count = std::atoi(text);
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "preloaded%d", i);
    Comp32xInternName(name);
  }
}

// The definitions agree with the driver header.
using Comp32xDriver::TDriver;
static_assert(std::is_same_v<decltype(&Comp32xInternMany), decltype(TDriver::InternMany)>);
static_assert(std::is_same_v<decltype(&Comp32xResetNames), decltype(TDriver::ResetNames)>);
static_assert(std::is_same_v<decltype(&Comp32xLiveContexts), decltype(TDriver::LiveContexts)>);
static_assert(std::is_same_v<decltype(&Comp32xLookup), decltype(TDriver::Lookup)>);
static_assert(std::is_same_v<decltype(&Comp32xLocaleHelperCalls), decltype(TDriver::LocaleHelperCalls)>);
static_assert(std::is_same_v<decltype(&Comp32xUseLocaleTable), decltype(TDriver::UseLocaleTable)>);
static_assert(std::is_same_v<decltype(&Comp32xScanSuffixes), decltype(TDriver::ScanSuffixes)>);
static_assert(std::is_same_v<decltype(&Comp32xPatternSite), decltype(TDriver::PatternSite)>);
static_assert(std::is_same_v<decltype(&Comp32xStricmp), decltype(TDriver::Stricmp)>);
static_assert(std::is_same_v<decltype(&Comp32xScanIntSuffix), decltype(TDriver::ScanIntSuffix)>);
static_assert(std::is_same_v<decltype(&Comp32xLtolower), decltype(TDriver::Ltolower)>);

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    InitializeHost();
    InternAtLoad();
  }
  return TRUE;
}
