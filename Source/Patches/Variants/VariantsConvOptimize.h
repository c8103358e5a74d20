// "RTL.VariantsConvOptimization": seven conversion routines of the host
// run-time's variant support redirected to the replacements of
// VariantConversions (variant to UnicodeString, AnsiString, WideString and
// Boolean; an OLE string stored from a WideString, an AnsiString and a
// UnicodeString). The Boolean conversion is the routine _VarToBool calls
// first: without that call at its start the patch does not apply.
// Installed at unit initialization; the cached texts are built right after
// the commit and kept for the life of the process.
#pragma once

#include <vector>

#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"
#include "Patches/Variants/VariantTexts.h"

namespace Quillmend {

std::vector<TPatchPlan> VariantsConvOptimizePlans();
void InstallVariantsConvOptimize();
// Builds the cached texts (once) and hands them to the replacements; the
// installation does so right after the commit.
void PublishVariantTexts();
// The texts, once the patch is applied (null before).
const TVariantTexts* VariantTextsBuilt();

extern const TUnitInfo Unit_VariantsConvOptimize;

}  // namespace Quillmend
