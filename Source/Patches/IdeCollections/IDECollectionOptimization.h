// "IDE.Collections.StrHash": the IDE's string hash tables hash with ours.
// Tables made from now on get our functions from their constructor; older
// ones are converted (rehashed) on their next "added" notification.
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The host's TCustomStringHashTable fields and entry layout.
namespace HostStringHashTableLayout {
constexpr int Buckets = 0x2C;
constexpr int BucketCount = 0x30;
constexpr int HashFunction = 0x38;
constexpr int EntryNext = 0, EntryHash = 4, EntryKey = 8;
}  // namespace HostStringHashTableLayout

// Our hashes the host's way: the key in EAX.
uint32_t QM_REGISTER HostHashText(const wchar_t* key);
uint32_t QM_REGISTER HostHashTextI(const wchar_t* key);

std::vector<TPatchPlan> CollectionOptimizationPlans();
void InstallCollectionOptimization();

extern const TUnitInfo Unit_IDECollectionOptimization;

}  // namespace Quillmend
