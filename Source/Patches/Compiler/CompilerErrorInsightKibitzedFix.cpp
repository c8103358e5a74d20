#include "Patches/Compiler/CompilerErrorInsightKibitzedFix.h"

#include "Framework/IDEHooks.h"
#include "Framework/LibraryEntry.h"
#include "Hooking/PatternSearch.h"
#include "Patches/Compiler/KibitzPatterns.h"

namespace Quillmend {

// The host's "CompilerGetUnitCmdLine" past its first instructions (the stub
// below continues there).
void* g_orgGetUnitCmdLine asm("QmOrgGetUnitCmdLine") = nullptr;

namespace {

const wchar_t* const Dcc = L"dcc150.dll";
const wchar_t* const DelphiCoreIde = L"delphicoreide150.bpl";

using TSetKibitzed = void(__stdcall*)(int32_t value);

uint32_t* g_counter = nullptr;
TSetKibitzed g_orgSetKibitzed = nullptr;

// The counter routine: the first match from `start` whose variable read
// (+1) is the variable counted (+7). Routines of the same shape that read
// one variable and count another are passed over.
void* FindCounter(void* start) {
  static const TBytePattern pattern = ParsePattern(KibitzPatterns::CodeInsightCounter);
  for (auto* at = static_cast<uint8_t*>(FindMethodPtr(start, pattern, 0)); at;
       at = static_cast<uint8_t*>(FindMethodPtr(at + 1, pattern, 0))) {
    if (*reinterpret_cast<const uint32_t*>(at + 1) == *reinterpret_cast<const uint32_t*>(at + 7)) return at;
  }
  return nullptr;
}

} // namespace

// "CompilerGetUnitCmdLine" (stdcall): this thread's next SetKibitzedSinceCompiled
// is swallowed unless the compile reaches the counter; then the host's
// routine with the caller's stack as it is.
extern "C" void QmGetUnitCmdLineStub() asm("QmGetUnitCmdLineStub");
asm(".text\n"
    ".balign 16\n"
    "QmGetUnitCmdLineStub:\n"
    "  pushl %eax\n"
    "  pushl %ecx\n"
    "  pushl %edx\n"
    "  xorl %eax, %eax\n"
    "  call _QmSetAllowKibitzedFlag\n"
    "  popl %edx\n"
    "  popl %ecx\n"
    "  popl %eax\n"
    "  jmp *QmOrgGetUnitCmdLine\n");

// The counter's replacement keeps every register but eax, as the host's does.
extern "C" void QmCountAndAllowStub() asm("QmCountAndAllowStub");
asm(".text\n"
    ".balign 16\n"
    "QmCountAndAllowStub:\n"
    "  pushl %ecx\n"
    "  pushl %edx\n"
    "  call _QmCountAndAllow\n"
    "  popl %edx\n"
    "  popl %ecx\n"
    "  ret\n");

uint32_t QM_REGISTER CountAndAllow() {
  SetAllowKibitzedFlag(1);
  return (*g_counter)++;
}

void __stdcall GuardedSetKibitzed(int32_t value) {
  if (TakeKibitzedSuppression()) return;
  g_orgSetKibitzed(value);
}

namespace {

TPatchPlan SetKibitzedPlan() {
  TPatchPlan plan(L"ErrorInsight.SetKibitzedSinceCompiled",
                  L"Prevent ErrorInsight from always setting KibitzedSinceCompiled flag");
  TSiteRef dcc = plan.LoadedModule(Dcc, &GetDccHandle);
  TSiteRef getUnit = plan.Export(L"CompilerGetUnitCmdLine", Dcc, "CompilerGetUnitCmdLine");
  TSiteRef counter = plan.Computed(L"CodeInsightCounter (one variable read and counted)",
                                   [=](const TPlanValues& v) { return FindCounter(v.Site(dcc)); });
  TSiteRef setKibitzed = plan.Export(L"SetKibitzedSinceCompiled", DelphiCoreIde, "SetKibitzedSinceCompiled");
  TCaptureRef variable = plan.Operand(counter, 1);
  plan.WriteJump(counter, 0, &QmCountAndAllowStub);
  plan.RedirectOrgCall(getUnit, &QmGetUnitCmdLineStub, &g_orgGetUnitCmdLine);
  plan.RedirectOrgCall(setKibitzed, &GuardedSetKibitzed, reinterpret_cast<void**>(&g_orgSetKibitzed));
  plan.OnCommit([=](const TPlanValues& v) { g_counter = v.Get<uint32_t*>(variable); });
  return plan;
}

void InitializeCompilerErrorInsightKibitzedFix() { AddWizardInitProc(&InstallCompilerErrorInsightKibitzedFix); }

} // namespace

std::vector<TPatchPlan> CompilerErrorInsightKibitzedFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(SetKibitzedPlan());
  return plans;
}

void InstallCompilerErrorInsightKibitzedFix() {
  TPatchPlan plan = SetKibitzedPlan();
  InstallPlan(plan);
}

const TUnitInfo Unit_CompilerErrorInsightKibitzedFix = {"CompilerErrorInsightKibitzedFix",
                                                        &InitializeCompilerErrorInsightKibitzedFix, nullptr,
                                                        &CompilerErrorInsightKibitzedFixPlans};

} // namespace Quillmend
