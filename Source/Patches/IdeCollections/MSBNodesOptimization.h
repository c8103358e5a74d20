// "IDE.CheckAndWarn": AddItem and AddProperty of the MSBuild project tree
// jump over the formatting of the arguments of the empty CheckAndWarn.
// "IDE.MSBObjects": clearing an item or property group detaches its children
// before freeing them, so none of them unregisters itself one by one.
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The host's node layout the patch relies on.
namespace HostNodeLayout {
constexpr int32_t Parent = 4;
constexpr int32_t Children = 8;
constexpr int32_t NameIndex = 0x2C;
constexpr int32_t GroupInstanceSize = 52;
}  // namespace HostNodeLayout

std::vector<TPatchPlan> MsbNodesPlans();
void InstallMsbNodesOptimization();

extern const TUnitInfo Unit_MSBNodesOptimization;

}  // namespace Quillmend
