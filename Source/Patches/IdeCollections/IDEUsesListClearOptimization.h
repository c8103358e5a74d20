// "IDE.UsesList.Clear": the project uses list's index by unit name becomes a
// TUsesListModuleHash (made by the list's constructor in place of the host's
// sorted list), kept by the list's Notify and searched by
// InternalFindFileEntry; clearing the list skips the per-item notifications.
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The host's layouts the patch relies on.
constexpr int32_t UsesEntryInstanceSize = 92;
constexpr int32_t UsesEntryFileName = 4;
constexpr int32_t UsesEntryUnitName = 0x40;
constexpr int32_t UsesListIndex = 0x10;

// SameFilePath: both longer than two characters and one starting with two
// backslashes: their UNC-expanded forms are the same file name; otherwise
// equal lengths and the same file name. (Bound at commit.)
bool SameFilePath(const wchar_t* a, const wchar_t* b);

std::vector<TPatchPlan> UsesListClearPlans();
void InstallUsesListClearOptimization();

extern const TUnitInfo Unit_IDEUsesListClearOptimization;

}  // namespace Quillmend
