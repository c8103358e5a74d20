// A set of host unit record pointers, with removal and iteration in
// insertion order.
#pragma once

#include <cstdint>
#include <vector>

#include "Patches/Compiler/UnitTableStorage.h"

namespace Quillmend {

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
};

} // namespace Quillmend
