#include "Patches/Compiler/CompilerRlink32MaxResCount.h"

#include "Framework/IDEHooks.h"
#include "Framework/LibraryEntry.h"

namespace Quillmend {

namespace {

const wchar_t* const Rlink32 = L"rlink32.dll";
namespace Patterns = Rlink32Patterns;

HMODULE g_rlink32 = nullptr;

TPatchPlan MaxResCountPlan() {
  TPatchPlan plan(L"Compiler.rlink32.MaxResCount", L"Increase max. resource count");
  plan.LoadedModule(Rlink32, &LoadRlink32);
  TSiteRef alloc = plan.Pattern(L"ResTableAlloc", Rlink32, Patterns::Alloc, 0);
  TSiteRef entries = plan.Pattern(L"ResTableEntries", Rlink32, Patterns::Entries, 0);
  const uint32_t size = Patterns::TableBytes;
  plan.WriteBytes(alloc, Patterns::FirstSize,
                  {uint8_t(size), uint8_t(size >> 8), uint8_t(size >> 16), uint8_t(size >> 24)});
  plan.WriteBytes(alloc, Patterns::SizeStore, "89 1E 90");          // mov [esi],ebx
  plan.WriteBytes(alloc, Patterns::SizeClear, "31 DB 89 1E 90");    // xor ebx,ebx; mov [esi],ebx
  plan.WriteBytes(entries, 0, "8B 04 24 90");                       // mov eax,[esp]
  return plan;
}

void InitializeCompilerRlink32MaxResCount() { AddWizardInitProc(&InstallCompilerRlink32MaxResCount); }

void FinalizeCompilerRlink32MaxResCount() {
  if (g_rlink32) FreeLibrary(g_rlink32);
  g_rlink32 = nullptr;
}

} // namespace

HMODULE LoadRlink32() {
  if (!g_rlink32) g_rlink32 = LoadLibraryW(Rlink32);
  return g_rlink32;
}

std::vector<TPatchPlan> CompilerRlink32MaxResCountPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(MaxResCountPlan());
  return plans;
}

void InstallCompilerRlink32MaxResCount() {
  TPatchPlan plan = MaxResCountPlan();
  InstallPlan(plan);
}

const TUnitInfo Unit_CompilerRlink32MaxResCount = {"CompilerRlink32MaxResCount", &InitializeCompilerRlink32MaxResCount,
                                                   &FinalizeCompilerRlink32MaxResCount,
                                                   &CompilerRlink32MaxResCountPlans};

} // namespace Quillmend
