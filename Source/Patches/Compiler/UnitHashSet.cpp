#include "Patches/Compiler/UnitHashSet.h"

namespace Quillmend {

void TUnitHashSet::Init(int32_t capacity) {
  InitChains(Items, Buckets, BucketCount, capacity < 1 ? 1 : capacity);
  Count = 0;
  Live = 0;
}

int32_t TUnitHashSet::Find(const void* unit) const { return FindUnitItem(Items, Buckets, BucketCount, unit); }

bool TUnitHashSet::Contains(const void* unit) const { return unit && Find(unit) != -1; }

bool TUnitHashSet::Add(void* unit) {
  if (Find(unit) != -1) return false;
  AppendToChains(Items, Buckets, BucketCount, Count, TUnitHashSetItem{-1, unit}, TUnitPointerBucket());
  ++Live;
  return true;
}

bool TUnitHashSet::Remove(const void* unit) {
  if (!unit) return false;
  int32_t i = Find(unit);
  if (i == -1) return false;
  // The hole keeps its bucket link (a null key never matches) until the set is cleared.
  Items[size_t(i)].Unit = nullptr;
  if (--Live == 0) Clear();
  return true;
}

void TUnitHashSet::Clear() {
  if (Items.size() < 17) {
    // With no item ever added since the last clear every bucket is empty already.
    if (BucketCount > 0 && Count > 0) Buckets.assign(size_t(BucketCount), -1);
  } else {
    ReleaseChains(Items, Buckets, BucketCount);
  }
  Count = 0;
  Live = 0;
}

} // namespace Quillmend
