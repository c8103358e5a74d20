// "IDE.KibitzNoClearUnitCache": code completion keeps the compiler's unit
// cache. The IDE's InvokeCodeCompletion clears the cache before every
// completion it starts, so each completion loads every unit again; its
// sub-patch ".InvokeCodeCompletion" removes that virtual call. The parent is
// a group, registered and reported ignored; installed at the expert entry.
#pragma once

#include <vector>

#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

std::vector<TPatchPlan> IDEKibitzFixPlans();
void InstallIDEKibitzFix();

extern const TUnitInfo Unit_IDEKibitzFix;

} // namespace Quillmend
