// Code insight in the Delphi personality: the kibitz manager's completion
// over a unit cache that InvokeCodeCompletion clears (KibitzCode.S), so the
// next completion loads every unit again (counted); and the IDE's flag
// "kibitzed since compiled", set through "SetKibitzedSinceCompiled" after
// every error-insight pass, which makes the next build recompile the unit.
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cwctype>
#include <string>
#include <type_traits>
#include <vector>

#include "Common/HostClass.h"
#include "KibitzDriver.h"
#include "dcc150/DccKibitzCounterDriver.h"
#include "rtl150/ObjectModelDriver.h"

using namespace QmHost;
using namespace KibitzDriver;

QM_HOST_CLASS(delphicore_TPascalKibitzManager_Class, 0);
QM_HOST_CLASS(delphicore_TKibitzUnitCache_Class, 3);

namespace {

const char* const Kinds[] = {"Item", "Index", "Count", "Create", "Value", "Name"};

struct TUnitCache {
  void* ClassRef;
  std::vector<std::vector<std::string>>* Loaded;  // per unit: its declarations, empty when not loaded
};

struct TManager {
  void* ClassRef;
  int32_t Units;
  int32_t Symbols;
  uint32_t Reserved;
  uint8_t InProgress;  // 0x10
  uint8_t Pad[3];
  TUnitCache* Cache;   // 0x14
  uint32_t Checksum;   // 0x18
  int32_t Count;       // 0x1C
};
static_assert(offsetof(TManager, InProgress) == ManagerLayout::InProgress, "InProgress");
static_assert(offsetof(TManager, Cache) == ManagerLayout::UnitCache, "UnitCache");

std::atomic<uint32_t> g_unitLoads{0};
std::atomic<int32_t> g_kibitzedSinceCompiled{0};
void* g_objectClassVar = nullptr;

uint32_t Mix(uint32_t h, uint32_t v) { return (h ^ v) * 16777619u; }

bool StartsWith(const std::string& name, const wchar_t* prefix) {
  if (!prefix) return true;
  const size_t dot = name.find('.') + 1;
  for (size_t i = 0; prefix[i]; ++i) {
    if (dot + i >= name.size()) return false;
    if (std::towlower(wchar_t(uint8_t(name[dot + i]))) != std::towlower(prefix[i])) return false;
  }
  return true;
}

void QM_HOST_REGISTER UnitCacheClear(TUnitCache* cache) {
  for (auto& unit : *cache->Loaded) unit.clear();
}

}  // namespace

extern "C" {

void QM_HOST_REGISTER HostCompletionPrepare(void*, uint32_t) QM_HOST_SYMBOL(HostCompletionPrepare);
void QM_HOST_REGISTER HostCompletionPrepare(void*, uint32_t) {}

void QM_HOST_REGISTER HostCompletionStarted() QM_HOST_SYMBOL(HostCompletionStarted);
void QM_HOST_REGISTER HostCompletionStarted() {}

// The list: every declaration of every project unit whose name (after the
// unit's) begins with the text, ignoring case; units not cached are loaded.
int32_t QM_HOST_REGISTER HostCompletionRun(TManager* self, const wchar_t* text) QM_HOST_SYMBOL(HostCompletionRun);
int32_t QM_HOST_REGISTER HostCompletionRun(TManager* self, const wchar_t* text) {
  uint32_t checksum = 2166136261u;
  int32_t count = 0;
  auto& loaded = *self->Cache->Loaded;
  for (int32_t u = 0; u < self->Units; ++u) {
    if (loaded[size_t(u)].empty()) {
      ++g_unitLoads;
      for (int32_t s = 0; s < self->Symbols; ++s)
        loaded[size_t(u)].push_back("Unit" + std::to_string(u) + "." + Kinds[s % 6] + std::to_string(s));
    }
    for (const std::string& name : loaded[size_t(u)]) {
      if (!StartsWith(name, text)) continue;
      ++count;
      for (char c : name) checksum = Mix(checksum, uint8_t(c));
    }
  }
  self->Checksum = checksum;
  self->Count = count;
  self->InProgress = 0;
  return count;
}

void QM_HOST_REGISTER HostSetKibitzed(int32_t value) QM_HOST_SYMBOL(HostSetKibitzed);
void QM_HOST_REGISTER HostSetKibitzed(int32_t value) { g_kibitzedSinceCompiled = (value & 0xFF) != 0; }

int32_t QM_HOST_REGISTER DelphiCoreInvokeCodeCompletion(void*, uint32_t, const wchar_t*)
    QM_HOST_SYMBOL(DelphiCoreInvokeCodeCompletion);
void __stdcall DelphiCoreSetKibitzedSinceCompiled(int32_t) QM_HOST_SYMBOL(DelphiCoreSetKibitzedSinceCompiled);

void* __stdcall KibitzManagerNew(int32_t units, int32_t symbols) {
  auto* cache = new TUnitCache{delphicore_TKibitzUnitCache_Class_Storage.ClassRef(),
                               new std::vector<std::vector<std::string>>(size_t(units > 0 ? units : 0))};
  return new TManager{delphicore_TPascalKibitzManager_Class_Storage.ClassRef(), units, symbols, 0, 0, {}, cache, 0, 0};
}

uint32_t __stdcall KibitzManagerResult(void* manager, int32_t* count) {
  auto* self = static_cast<TManager*>(manager);
  if (count) *count = self->Count;
  return self->Checksum;
}

uint32_t __stdcall KibitzUnitLoads() { return g_unitLoads; }

int32_t __stdcall DelphiCoreErrorInsightPass(const char* unitName, int32_t sourceVersion) {
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  auto getUnit = reinterpret_cast<DccKibitzCounterDriver::GetUnitCmdLineFn>(
      reinterpret_cast<void*>(dcc ? GetProcAddress(dcc, DccKibitzCounterDriver::Export::GetUnitCmdLine) : nullptr));
  const int32_t answer = getUnit ? getUnit(unitName, sourceVersion) : 0;
  DelphiCoreSetKibitzedSinceCompiled(1);
  return answer;
}

int32_t __stdcall DelphiCoreBuild() { return g_kibitzedSinceCompiled.exchange(0); }

int32_t __stdcall DelphiCoreKibitzedSinceCompiled() { return g_kibitzedSinceCompiled; }

}  // extern "C"

static_assert(std::is_same_v<decltype(&DelphiCoreInvokeCodeCompletion), InvokeCodeCompletionFn>, "Invoke");
static_assert(std::is_same_v<decltype(&DelphiCoreSetKibitzedSinceCompiled), SetKibitzedFn>, "SetKibitzed");
static_assert(std::is_same_v<decltype(&KibitzManagerNew), NewManagerFn>, "New");
static_assert(std::is_same_v<decltype(&KibitzManagerResult), ManagerResultFn>, "Result");
static_assert(std::is_same_v<decltype(&KibitzUnitLoads), UnitLoadsFn>, "Loads");
static_assert(std::is_same_v<decltype(&DelphiCoreErrorInsightPass), ErrorInsightPassFn>, "Pass");
static_assert(std::is_same_v<decltype(&DelphiCoreBuild), BuildFn>, "Build");
static_assert(std::is_same_v<decltype(&DelphiCoreKibitzedSinceCompiled), KibitzedFn>, "Kibitzed");

namespace {

const bool kBuilt = [] {
  g_objectClassVar = RtlObjects::ClassExport(GetModuleHandleW(L"rtl150.bpl"), "@System@TObject@");
  HostClassBuilder(delphicore_TPascalKibitzManager_Class_Storage, "TPascalKibitzManager")
      .Parent(&g_objectClassVar)
      .InstanceSize(sizeof(TManager))
      .Build();
  HostClassBuilder(delphicore_TKibitzUnitCache_Class_Storage, "TKibitzUnitCache")
      .Parent(&g_objectClassVar)
      .InstanceSize(sizeof(TUnitCache))
      .Virtual(ManagerLayout::ClearSlot, reinterpret_cast<const void*>(&UnitCacheClear))
      .Build();
  return true;
}();

}  // namespace
