// A set of host unit record pointers with the growth and bucket rules shared
// by the unit-list indexes, plus removal and iteration in insertion order.
#pragma once

#include <cstdint>
#include <vector>

namespace Quillmend {

// Bucket of a pointer key: ((p shr 4) + (p and 0xFFFF)) and 0x7FFFFFF, mod the
// (odd) bucket count.
inline int32_t PointerBucket(const void* p, int32_t bucketCount) {
  uint32_t value = uint32_t(uintptr_t(p));
  return int32_t(((value >> 4) + (value & 0xFFFF)) & 0x7FFFFFF) % bucketCount;
}

// Capacity after growing a full table; the bucket count for a capacity.
inline int32_t GrownCapacity(int32_t capacity) { return capacity > 15 ? capacity * 2 : 16; }
inline int32_t OddBucketCount(int32_t capacity) { return capacity | 1; }

struct TUnitHashSetItem {
  int32_t Next;  // next item of the bucket, -1 ends
  void* Unit;    // null for a removed item
};

class TUnitHashSet {
public:
  std::vector<TUnitHashSetItem> Items;
  int32_t BucketCount = 0;
  int32_t Count = 0;  // items used, removed ones included
  int32_t Live = 0;   // items present
  std::vector<int32_t> Buckets;

  void Init(int32_t capacity);
  bool Contains(const void* unit) const;
  // False if the unit was already present.
  bool Add(void* unit);
  // Drops a unit; its slot stays as a hole so that insertion order is kept
  // (the set is cleared when its last unit goes).
  bool Remove(const void* unit);
  // Small tables keep their arrays; larger ones release them.
  void Clear();
  // Present units in insertion order.
  template <class F>
  void ForEach(F&& f) const {
    for (int32_t i = 0; i < Count; ++i)
      if (Items[i].Unit) f(Items[i].Unit);
  }
  bool IsEmpty() const { return Live == 0; }

private:
  int32_t Find(const void* unit) const;
  void Grow();
};

} // namespace Quillmend
