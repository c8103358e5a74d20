#include "Patches/UnitHashSet.h"

namespace Quillmend {

void TUnitHashSet::Init(int32_t capacity) {
  if (capacity < 1) capacity = 1;
  Items.assign(size_t(capacity), TUnitHashSetItem{-1, nullptr});
  BucketCount = OddBucketCount(capacity);
  Buckets.assign(size_t(BucketCount), -1);
  Count = 0;
  Live = 0;
}

int32_t TUnitHashSet::Find(const void* unit) const {
  if (BucketCount < 1) return -1;
  for (int32_t i = Buckets[size_t(PointerBucket(unit, BucketCount))]; i != -1; i = Items[size_t(i)].Next)
    if (Items[size_t(i)].Unit == unit) return i;
  return -1;
}

bool TUnitHashSet::Contains(const void* unit) const { return unit && Find(unit) != -1; }

void TUnitHashSet::Grow() {
  int32_t capacity = GrownCapacity(int32_t(Items.size()));
  Items.resize(size_t(capacity), TUnitHashSetItem{-1, nullptr});
  BucketCount = OddBucketCount(capacity);
  Buckets.assign(size_t(BucketCount), -1);
  for (int32_t i = 0; i < Count; ++i) {
    int32_t& head = Buckets[size_t(PointerBucket(Items[size_t(i)].Unit, BucketCount))];
    Items[size_t(i)].Next = head;
    head = i;
  }
}

bool TUnitHashSet::Add(void* unit) {
  if (Find(unit) != -1) return false;
  if (BucketCount < 1 || Count >= int32_t(Items.size())) Grow();
  int32_t& head = Buckets[size_t(PointerBucket(unit, BucketCount))];
  Items[size_t(Count)] = TUnitHashSetItem{head, unit};
  head = Count++;
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
    Items.clear();
    Items.shrink_to_fit();
    Buckets.clear();
    Buckets.shrink_to_fit();
    BucketCount = 0;
  }
  Count = 0;
  Live = 0;
}

} // namespace Quillmend
