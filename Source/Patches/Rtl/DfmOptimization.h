// Form-text to binary conversion ("RTL.Classes.ObjectTextToBinary"): the
// run-time library's ObjectTextToBinary replaced by a conversion that scans
// the input's bytes (TDfmParser) and writes through the host's component
// writer, encoding names and identifiers itself.
#pragma once

#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// ObjectTextToBinary(Input, Output: TStream), the host's register convention.
void QM_REGISTER ObjectTextToBinaryFast(void* input, void* output);

TPatchPlan DfmOptimizationPlan();
// The module's plans for the check.
std::vector<TPatchPlan> DfmOptimizationPlans();
void InstallDfmOptimization();

extern const TUnitInfo Unit_DfmOptimization;

}  // namespace Quillmend
