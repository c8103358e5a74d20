#include "Patches/SystemUnit/FindHInstanceCache.h"

#include "Patches/SystemUnit/ModuleUnloadNotice.h"
#include "Patches/SystemUnit/RtlSystemExports.h"

namespace Quillmend {

namespace {

TModuleRangeEntry g_ring[FindHInstanceRingSize];
TModuleRangeEntry* g_head = nullptr;  // the entry filled next
const uint32_t* g_mainThreadId = nullptr;

void ResetRing() {
  for (int i = 0; i < FindHInstanceRingSize; ++i) {
    g_ring[i].Prev = &g_ring[(i + FindHInstanceRingSize - 1) % FindHInstanceRingSize];
    g_ring[i].Next = &g_ring[(i + 1) % FindHInstanceRingSize];
    g_ring[i].Start = g_ring[i].End = 0;
    g_ring[i].Module = nullptr;
  }
  g_head = &g_ring[0];
}

// The system's answer: the allocation base of committed memory, else 0.
bool QueryModule(const void* address, MEMORY_BASIC_INFORMATION& info) {
  return VirtualQuery(address, &info, sizeof info) == sizeof info && info.State == MEM_COMMIT;
}

void QM_REGISTER ModuleUnloaded(uint32_t instance) {
  const auto module = reinterpret_cast<HINSTANCE>(uintptr_t(instance));
  for (TModuleRangeEntry& entry : g_ring)
    if (entry.Module == module) entry.Start = entry.End = 0;
}

TModuleUnloadNotice g_unloadNotice(&ModuleUnloaded);
void* g_addModuleUnloadProc = nullptr;
void* g_removeModuleUnloadProc = nullptr;

TPatchPlan FindHInstancePlan() {
  TPatchPlan plan(L"RTL.FindHInstance", L"FindHInstance last request cache", TInstallMoment::UnitInit);
  TSiteRef find = plan.Export(L"FindHInstance", RtlPackage, RtlSystemExport::FindHInstance);
  TSiteRef mainThread = plan.Export(L"MainThreadID", RtlPackage, RtlSystemExport::MainThreadID);
  TSiteRef add = plan.Export(L"AddModuleUnloadProc", RtlPackage, RtlSystemExport::AddModuleUnloadProc);
  TSiteRef remove = plan.Export(L"RemoveModuleUnloadProc", RtlPackage, RtlSystemExport::RemoveModuleUnloadProc);
  plan.Redirect(find, &FindHInstanceReplacement);
  // Publication only records: the check tool publishes without running
  // anything of the host's (the unload procedure is registered once applied).
  plan.OnCommit([=](const TPlanValues& v) {
    ResetRing();
    g_mainThreadId = reinterpret_cast<const uint32_t*>(v.Site(mainThread));
    g_addModuleUnloadProc = v.Site(add);
    g_removeModuleUnloadProc = v.Site(remove);
  });
  return plan;
}

void FinalizeFindHInstanceCache() {
  // The library's undo has put FindHInstance back already.
  g_unloadNotice.Unregister();
  g_mainThreadId = nullptr;
}

}  // namespace

HINSTANCE QM_REGISTER FindHInstanceReplacement(const void* address) {
  if (!address) return nullptr;
  MEMORY_BASIC_INFORMATION info;
  if (!g_mainThreadId || GetCurrentThreadId() != *g_mainThreadId)
    return QueryModule(address, info) ? static_cast<HINSTANCE>(info.AllocationBase) : nullptr;
  const auto at = reinterpret_cast<uintptr_t>(address);
  TModuleRangeEntry* entry = g_head->Next;
  for (int i = 0; i < FindHInstanceRingSize; ++i, entry = entry->Next)
    if (entry->Start <= at && at < entry->End) return entry->Module;
  if (!QueryModule(address, info)) return nullptr;
  g_head->Start = reinterpret_cast<uintptr_t>(info.AllocationBase);
  g_head->End = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
  g_head->Module = static_cast<HINSTANCE>(info.AllocationBase);
  g_head = g_head->Prev;
  return static_cast<HINSTANCE>(info.AllocationBase);
}

std::vector<TModuleRangeEntry> FindHInstanceRing() {
  std::vector<TModuleRangeEntry> entries;
  if (!g_head) return entries;
  const TModuleRangeEntry* entry = g_head->Next;
  for (int i = 0; i < FindHInstanceRingSize; ++i, entry = entry->Next) entries.push_back(*entry);
  return entries;
}

std::vector<TPatchPlan> FindHInstanceCachePlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(FindHInstancePlan());
  return plans;
}

void InstallFindHInstanceCache() {
  TPatchPlan plan = FindHInstancePlan();
  if (InstallPlan(plan)) g_unloadNotice.Register(g_addModuleUnloadProc, g_removeModuleUnloadProc);
}

const TUnitInfo Unit_FindHInstanceCache = {"FindHInstanceCache", &InstallFindHInstanceCache,
                                           &FinalizeFindHInstanceCache, &FindHInstanceCachePlans};

}  // namespace Quillmend
