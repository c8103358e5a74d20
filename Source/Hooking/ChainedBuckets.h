// Index-chained hash storage, shared by the engine's pointer containers and
// the compiler's unit tables. Items sit in one array and chain through their
// `Next` index; a bucket holds the index of its chain's first item, -1 when
// the bucket is empty. A new item always goes to the head of its chain, and a
// rebuild re-links the items in index order, each at the head of its chain.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "Hooking/EngineError.h"

namespace Quillmend {

// Bucket counts are odd: keys are aligned addresses, and an even modulus
// would leave every other bucket unused.
inline int32_t OddBucketCount(int32_t capacity) { return capacity | 1; }

// Bucket of a key or hash: its low 31 bits modulo the bucket count.
inline uint32_t MaskedBucket(uint32_t key, int32_t bucketCount) {
  return (key & 0x7FFFFFFFu) % static_cast<uint32_t>(bucketCount);
}

// Growth of the tables that double: a full table of fewer than 16 items grows
// to 16, any other one to twice its capacity.
inline int64_t DoubledCapacity(int64_t capacity) { return capacity < 16 ? 16 : capacity * 2; }

// Links item Index (the record Item) in front of the chain that starts at Head.
template <class TItem>
inline void LinkAtHead(int32_t& head, TItem& item, int32_t index) {
  item.Next = head;
  head = index;
}

// Links Items[0 .. Count-1] in index order into buckets that are all empty;
// BucketOf(item, bucketCount) gives an item's bucket.
template <class TItem, class TBucketOf>
void LinkChains(int32_t* buckets, int32_t bucketCount, TItem* items, int32_t count, TBucketOf bucketOf) {
  for (int32_t i = 0; i < count; ++i) LinkAtHead(buckets[bucketOf(items[i], bucketCount)], items[i], i);
}

// Empties the buckets, then links the items as LinkChains does.
template <class TItem, class TBucketOf>
void RebuildChains(int32_t* buckets, int32_t bucketCount, TItem* items, int32_t count, TBucketOf bucketOf) {
  std::fill_n(buckets, bucketCount, -1);
  LinkChains(buckets, bucketCount, items, count, bucketOf);
}

// Items and buckets of an engine container, each in one block of its own.
template <class TItem>
struct TChainedStorage {
  // Largest capacity whose item block can still be addressed.
  static constexpr int32_t MaxCapacity = 0x7FFFFFFF / static_cast<int32_t>(sizeof(TItem));

  TItem* Items = nullptr;
  int32_t* Buckets = nullptr;
  int32_t Capacity = 0;
  int32_t BucketCount = 0;  // OddBucketCount(Capacity), 0 without storage

  // Moves to Capacity item slots, keeping Items[0 .. Used-1] and re-linking
  // them (see RebuildChains). Both blocks are allocated before anything
  // changes, so a failure leaves the storage as it was.
  template <class TBucketOf>
  void Resize(int64_t capacity, int32_t used, TBucketOf bucketOf) {
    if (capacity < 1 || capacity > MaxCapacity) RaiseOutOfMemory();
    const int32_t bucketCount = OddBucketCount(static_cast<int32_t>(capacity));
    int32_t* buckets = static_cast<int32_t*>(std::malloc(static_cast<size_t>(bucketCount) * sizeof(int32_t)));
    if (!buckets) RaiseOutOfMemory();
    void* items = std::realloc(Items, static_cast<size_t>(capacity) * sizeof(TItem));
    if (!items) {
      std::free(buckets);
      RaiseOutOfMemory();
    }
    std::free(Buckets);
    Items = static_cast<TItem*>(items);
    Buckets = buckets;
    Capacity = static_cast<int32_t>(capacity);
    BucketCount = bucketCount;
    RebuildChains(Buckets, BucketCount, Items, used, bucketOf);
  }

  void Release() {
    std::free(Items);
    std::free(Buckets);
    Items = nullptr;
    Buckets = nullptr;
    Capacity = 0;
    BucketCount = 0;
  }
};

} // namespace Quillmend
