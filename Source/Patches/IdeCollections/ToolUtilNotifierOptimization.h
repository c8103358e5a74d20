// "IDE.AddToList": Toolutils.AddToList reuses the first nil slot of a
// notifier list, found by one IndexOf(nil), instead of fetching every slot.
#pragma once

#include <vector>

#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

std::vector<TPatchPlan> ToolUtilNotifierPlans();
void InstallToolUtilNotifierOptimization();

extern const TUnitInfo Unit_ToolUtilNotifierOptimization;

}  // namespace Quillmend
