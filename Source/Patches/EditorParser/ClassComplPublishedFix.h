// "Editor.PublishedBlock": class completion adds an empty "published"
// section to a persistent class that has none. The conditional jump in
// TPascalCodeUpdater.EnsureSection that lets it do so becomes unconditional.
// A write that fails leaves the patch failed with the system's error as its
// reason (nothing is raised out of the library's initialization).
#pragma once

#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

TPatchPlan PublishedBlockPlan();
void InstallClassComplPublishedFix();

extern const TUnitInfo Unit_ClassComplPublishedFix;

} // namespace Quillmend
