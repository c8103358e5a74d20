// Storage rules shared by the three tables over the compiler's unit records
// (the unit set, the used-by index and the unit-name dictionary): items and
// buckets in vectors, chained through indices (see Hooking/ChainedBuckets.h),
// the unit-pointer hash of the two pointer-keyed tables, and doubling growth.
#pragma once

#include <cstdint>
#include <vector>

#include "Hooking/ChainedBuckets.h"

namespace Quillmend {

// Bucket of a unit pointer: ((p shr 4) + (p and 0xFFFF)) and 0x7FFFFFF, modulo
// the (odd) bucket count.
inline int32_t PointerBucket(const void* p, int32_t bucketCount) {
  uint32_t value = uint32_t(uintptr_t(p));
  return int32_t(((value >> 4) + (value & 0xFFFF)) & 0x7FFFFFF) % bucketCount;
}

// Bucket function of the pointer-keyed tables, whose items carry the key in `Unit`.
struct TUnitPointerBucket {
  template <class TItem>
  int32_t operator()(const TItem& item, int32_t bucketCount) const {
    return PointerBucket(item.Unit, bucketCount);
  }
};

// Room for Capacity items, all buckets empty.
template <class TItem>
void InitChains(std::vector<TItem>& items, std::vector<int32_t>& buckets, int32_t& bucketCount, int32_t capacity) {
  items.assign(size_t(capacity), TItem{});
  bucketCount = OddBucketCount(capacity);
  buckets.assign(size_t(bucketCount), -1);
}

// Releases both arrays; the table has no buckets afterwards.
template <class TItem>
void ReleaseChains(std::vector<TItem>& items, std::vector<int32_t>& buckets, int32_t& bucketCount) {
  std::vector<TItem>().swap(items);
  std::vector<int32_t>().swap(buckets);
  bucketCount = 0;
}

// Stores Item as item Count at the head of its bucket's chain, growing a full
// table first (doubling, then re-linking items 0 .. Count-1); returns its index.
template <class TItem, class TBucketOf>
int32_t AppendToChains(std::vector<TItem>& items, std::vector<int32_t>& buckets, int32_t& bucketCount,
                       int32_t& count, const TItem& item, TBucketOf bucketOf) {
  if (bucketCount < 1 || count >= int32_t(items.size())) {
    const int32_t capacity = int32_t(DoubledCapacity(int32_t(items.size())));
    items.resize(size_t(capacity));
    bucketCount = OddBucketCount(capacity);
    buckets.assign(size_t(bucketCount), -1);
    LinkChains(buckets.data(), bucketCount, items.data(), count, bucketOf);
  }
  // Linked in a copy and stored once: with no store before the bucket is
  // taken, the compiler reuses the division of the lookup that usually
  // precedes an append.
  TItem linked = item;
  const int32_t index = count++;
  LinkAtHead(buckets[size_t(bucketOf(item, bucketCount))], linked, index);
  items[size_t(index)] = linked;
  return index;
}

// Index of the item keyed by Unit in a pointer-keyed table, or -1.
template <class TItem>
int32_t FindUnitItem(const std::vector<TItem>& items, const std::vector<int32_t>& buckets, int32_t bucketCount,
                     const void* unit) {
  if (bucketCount < 1) return -1;
  for (int32_t i = buckets[size_t(PointerBucket(unit, bucketCount))]; i != -1; i = items[size_t(i)].Next)
    if (items[size_t(i)].Unit == unit) return i;
  return -1;
}

} // namespace Quillmend
