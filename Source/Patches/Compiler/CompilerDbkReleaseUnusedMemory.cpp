#include "Patches/Compiler/CompilerDbkReleaseUnusedMemory.h"

#include "Framework/HostFinally.h"
#include "Framework/IDEHooks.h"
#include "Framework/LibraryEntry.h"

namespace Quillmend {

namespace {

// The hooked routines take their arguments in registers; all three are passed on.
using THostRoutine = uint32_t(QM_REGISTER*)(void* eax, void* edx, void* ecx);
using TLock = void(QM_REGISTER*)();
using TUnLock = uint32_t(QM_REGISTER*)();

std::vector<TReleaseProc>* g_procs = nullptr;
TReleaseProc g_found = nullptr;
void* g_orgCompile = nullptr;
void* g_orgDeleted = nullptr;
TLock g_lock = nullptr;
TUnLock g_unlock = nullptr;

namespace Exports = ReleaseUnusedMemoryExports;

uint32_t QM_REGISTER CompilerCompileThenRelease(void* eax, void* edx, void* ecx) {
  const uint32_t result = reinterpret_cast<THostRoutine>(g_orgCompile)(eax, edx, ecx);
  RunReleaseProcs();
  return result;
}

uint32_t QM_REGISTER ProcObjectDeletedThenRelease(void* eax, void* edx, void* ecx) {
  const uint32_t result = reinterpret_cast<THostRoutine>(g_orgDeleted)(eax, edx, ecx);
  RunReleaseProcs();
  return result;
}

TPatchPlan ReleasePlan() {
  TPatchPlan plan(L"Compiler.ReleaseUnusedMemory", L"Release unused memory");
  plan.LoadedModule(L"dcc150.dll", &GetDccHandle);
  TSiteRef release =
      plan.Pattern(L"ReleaseUnused", L"dcc150.dll", ReleaseUnusedMemoryPatterns::Release, 0x10000);
  TCaptureRef routine = plan.Address(release);
  plan.OnCommit([=](const TPlanValues& v) { g_found = v.Get<TReleaseProc>(routine); });
  return plan;
}

TPatchPlan IdePlan() {
  TPatchPlan plan(L"Compiler.ReleaseUnusedMemory.IDE", L"Release unused memory");
  // Installed by the first release procedure's addition only.
  plan.TriedOnlyAfter({L"Compiler.ReleaseUnusedMemory"});
  TSiteRef compile = plan.Export(L"TCompiler.CompilerCompile", Exports::DelphiCoreIde, Exports::CompilerCompile);
  TSiteRef deleted = plan.Export(L"TDebugKernel.ntfyProcObjectDeleted", Exports::DbkDebugIde, Exports::ProcObjectDeleted);
  TSiteRef lock = plan.Export(L"Lock", Exports::DelphiCoreIde, "Lock");
  TSiteRef unlock = plan.Export(L"UnLock", Exports::DelphiCoreIde, "UnLock");
  plan.RedirectOrgCall(compile, &CompilerCompileThenRelease, &g_orgCompile);
  plan.RedirectOrgCall(deleted, &ProcObjectDeletedThenRelease, &g_orgDeleted);
  plan.OnCommit([=](const TPlanValues& v) {
    g_lock = reinterpret_cast<TLock>(v.Site(lock));
    g_unlock = reinterpret_cast<TUnLock>(v.Site(unlock));
  });
  return plan;
}

void InitializeCompilerDbkReleaseUnusedMemory() { AddWizardInitProc(&InstallCompilerDbkReleaseUnusedMemory); }

void FinalizeCompilerDbkReleaseUnusedMemory() {
  delete g_procs;
  g_procs = nullptr;
}

} // namespace

void AddReleaseProc(TReleaseProc proc) {
  const bool first = !g_procs;
  if (first) g_procs = new std::vector<TReleaseProc>();
  g_procs->push_back(proc);
  if (first) {
    TPatchPlan ide = IdePlan();
    InstallPlan(ide);
  }
}

void RunReleaseProcs() {
  if (!g_procs || !g_lock || !g_unlock) return;
  g_lock();
  HostTryFinally(
      [](void*) {
        for (TReleaseProc proc : *g_procs) proc();
      },
      nullptr, [](void*) { g_unlock(); });
}

std::vector<TPatchPlan> CompilerDbkReleaseUnusedMemoryPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(ReleasePlan());
  plans.push_back(IdePlan());
  return plans;
}

void InstallCompilerDbkReleaseUnusedMemory() {
  TPatchPlan plan = ReleasePlan();
  if (InstallPlan(plan)) AddReleaseProc(g_found);
}

const TUnitInfo Unit_CompilerDbkReleaseUnusedMemory = {
    "CompilerDbkReleaseUnusedMemory", &InitializeCompilerDbkReleaseUnusedMemory,
    &FinalizeCompilerDbkReleaseUnusedMemory, &CompilerDbkReleaseUnusedMemoryPlans};

} // namespace Quillmend
