// Puts the selected fast move (FastMove) in place of System.Move in
// rtl150.bpl at unit initialization; the library's undo puts System.Move
// back at unload. Not a named patch: always active, in no registry.
#pragma once

#include <string>

#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// Whether System.Move is redirected now, and why not when it is not.
bool FastCodeInstalled();
const std::wstring& FastCodeInstallReason();

// The redirection of System.Move to the selected move, as a plan (no named patch).
TPatchPlan FastCodeInstallPlan();
void InstallFastCode();

extern const TUnitInfo Unit_FastCodeInstall;

} // namespace Quillmend
