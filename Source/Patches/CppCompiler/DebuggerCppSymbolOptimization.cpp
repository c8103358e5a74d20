#include "Patches/CppCompiler/DebuggerCppSymbolOptimization.h"

#include <cstring>
#include <vector>
#include <memory>
#include <windows.h>

#include "Framework/HostAbi.h"
#include "Framework/HostFinally.h"
#include "Framework/LibraryEntry.h"
#include "Patches/CppCompiler/CppCompilerPatterns.h"

namespace Quillmend {

namespace Patterns = CppCompilerPatterns;

namespace {

using THostLookup = int32_t(__cdecl*)(const void* nameRecord, int32_t flag);
using TGetDebugHook = void*(QM_REGISTER*)(void* self);

THostLookup g_hostLookup = nullptr;
TGetDebugHook g_hostGetDebugHook = nullptr;
uint8_t** g_currentContext = nullptr;
std::unique_ptr<TDebugSymbolCache> g_cache;
TCppSymbolLookupCounts g_counts;
// > 0 while GetDebugHook runs (its lookups of System's debug hook are answered 0).
int g_inGetDebugHook = 0;

bool ContextAnswers(const uint8_t* context) {
  uint32_t loaded, hasDebugInfo;
  std::memcpy(&loaded, context + CppSymbolContextLayout::Loaded, 4);
  std::memcpy(&hasDebugInfo, context + CppSymbolContextLayout::HasDebugInfo, 4);
  return loaded != 0 && hasDebugInfo != 0;
}

// The replacement of the lookup (cdecl: name record, whose first field is
// the name's text, and flag).
int32_t __cdecl LookupReplacement(const void* nameRecord, int32_t flag) {
  const uint8_t* context = *g_currentContext;
  if (!context || !ContextAnswers(context)) return 0;
  const char* name = *static_cast<const char* const*>(nameRecord);
  if (g_inGetDebugHook > 0 && IsDebugHookName(name)) return 0;
  const uint32_t length = uint32_t(std::strlen(name));
  int32_t result = 0;
  if (g_cache->Find(context, uint32_t(flag), name, length, result)) {
    ++g_counts.Hits;
    return result;
  }
  ++g_counts.Misses;
  // No C++ object of ours is alive across the host's call: a host
  // exception may leave through this frame.
  result = g_hostLookup(nameRecord, flag);
  HostBoundary([&] { g_cache->Insert(context, uint32_t(flag), name, length, result); });
  return result;
}

void* QM_REGISTER GetDebugHookWrapper(void* self) {
  void* result = nullptr;
  ++g_inGetDebugHook;
  HostTryFinally([&] { result = g_hostGetDebugHook(self); }, [&]() noexcept { --g_inGetDebugHook; });
  return result;
}

void InstallProc() { InstallDebuggerCppSymbolOptimization(); }

void Initialize() { AddCppCompilerInitProc(&InstallProc); }

void Finalize() { g_cache.reset(); }

}  // namespace

bool IsDebugHookName(const char* name) {
  if (!name || name[0] != '@') return false;
  const char* second = std::strchr(name + 1, '@');
  if (!second || second - name != 7 || std::strncmp(name, "@System", 7) != 0) return false;
  return std::strcmp(second + 1, "DebugHook") == 0 || std::strcmp(second + 1, "_DebugHook") == 0;
}

TDebugSymbolCache* CppDebugSymbolCache() { return g_cache.get(); }

TCppSymbolLookupCounts CppSymbolLookupCounts() { return g_counts; }

extern "C" void QmCppSymbolContextReleased(const void* context) noexcept {
  if (g_cache && g_cache->RefersTo(context)) g_cache->Clear();
}

TPatchPlan DebuggerCppSymbolOptimizationPlan() {
  TPatchPlan plan(L"Debugger.CppDebugSymbolReader", L"C++ Debug Symbol Reader optimization",
                  TInstallMoment::CppCompilerLoad);
  TSiteRef lookup = plan.Pattern(L"symbol lookup", L"comp32x.dll", Patterns::SymbolLookup, Patterns::ModuleSearch);
  TSiteRef release = plan.Pattern(L"context release", L"comp32x.dll", Patterns::ContextRelease, Patterns::ModuleSearch);
  TSiteRef getDebugHook = plan.Export(L"GetDebugHook", DebuggerPackage, GetDebugHookExport);
  TCaptureRef currentContext = plan.Operand(lookup, Patterns::ContextVariable);
  plan.RedirectOrgCall(lookup, &LookupReplacement, reinterpret_cast<void**>(&g_hostLookup));
  plan.WriteCall(release, Patterns::ContextBufferLoad, &QmCppSymbolCacheInvalidation, {0x90});
  // win32debugide150.bpl stays loaded from one compiler load to the next:
  // a later installation finds this redirect in place and keeps it.
  plan.RedirectOrgCall(getDebugHook, &GetDebugHookWrapper, reinterpret_cast<void**>(&g_hostGetDebugHook));
  plan.OnCommit([=](const TPlanValues& v) {
    g_currentContext = v.Get<uint8_t**>(currentContext);
    // A new load's contexts share nothing with the last one's.
    g_cache = std::make_unique<TDebugSymbolCache>(TDebugSymbolCache::InitialCapacity);
    g_counts = {};
  });
  return plan;
}

void InstallDebuggerCppSymbolOptimization() {
  if (!GetModuleHandleW(L"comp32x.dll")) return;
  TPatchPlan plan = DebuggerCppSymbolOptimizationPlan();
  InstallPlan(plan);
}

namespace {

std::vector<TPatchPlan> Plans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(DebuggerCppSymbolOptimizationPlan());
  return plans;
}

}  // namespace

const TUnitInfo Unit_DebuggerCppSymbolOptimization = {"DebuggerCppSymbolOptimization", Initialize, Finalize, &Plans};

}  // namespace Quillmend
