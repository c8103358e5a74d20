// Link order of Quillmend.dll's units: initializations run in this order on
// process attach, finalizations in reverse on detach.
#include "Framework/ChangeDirectoryNotify.h"
#include "Framework/IDEHooks.h"
#include "Framework/LibraryEntry.h"
#include "Framework/PatchRegistry.h"
#include "Framework/SplashProgress.h"
#include "Framework/LibraryUnitTable.h"
#include "Hooking/Utils.h"

namespace Quillmend {
namespace {

// Engine and containers: the hash tables are compile-time constants; the
// initialization resolves the text comparison's ntdll entry.
const TUnitInfo HookingUnit = {"Hooking", InitializeUtils, nullptr};
const TUnitInfo IDEHooksUnit = {"IDEHooks", nullptr, nullptr};
const TUnitInfo PatchRegistryUnit = {"PatchRegistry", InitializePatchRegistry, FinalizePatchRegistry};

std::vector<const TUnitInfo*> LinkOrder() {
  std::vector<const TUnitInfo*> units = {&HookingUnit, &IDEHooksUnit, &PatchRegistryUnit, &ChangeDirectoryNotifyUnit,
                                         &SplashProgressUnit};
  for (size_t i = 0; i < PatchUnitCount; ++i) units.push_back(PatchUnits[i]);
  units.push_back(&LibraryEntryUnit);
  return units;
}

}  // namespace

TUnitTable& LibraryUnits() {
  static TUnitTable table(LinkOrder());
  return table;
}

} // namespace Quillmend
