// Run-time access to the IDE's modules.
#include "Framework/IDEHooks.h"

#include "Framework/PatchPlan.h"

namespace Quillmend {
namespace {

// Written at most once, with the value every caller would compute alike.
HMODULE g_dccHandle = nullptr;

}  // namespace

HMODULE GetDccHandle() {
  // Under a custom module resolver (the check tool) the compiler library is
  // an image opened without running it: never load it for real there.
  if (HasCustomPlanModuleResolver()) return ResolvePlanModule(L"dcc150.dll");
  // A failed load is not remembered: the next call tries again. The
  // reference taken here is never released.
  if (!g_dccHandle) g_dccHandle = LoadLibraryW(L"dcc150.dll");
  return g_dccHandle;
}

void* DbgStrictGetProcAddress(HMODULE module, const char* name) {
  return ResolvePlanExport(module, name);
}

} // namespace Quillmend
