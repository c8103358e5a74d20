#include "Hooking/GenericPointerSet.h"

#include "Hooking/EngineError.h"

#include <cstdlib>

namespace Quillmend {

namespace {

constexpr int32_t MinCapacity = 16;
// Beyond this the item block could not be addressed anyway.
constexpr int32_t MaxCapacity = 0x7FFFFFFF / static_cast<int32_t>(sizeof(TGenericPointerSetItem));

// Odd bucket counts keep aligned addresses spread over all buckets.
int32_t OddBucketCount(int32_t capacity) { return (capacity & 1) ? capacity : capacity + 1; }

int32_t* NewBuckets(int32_t count) {
  int32_t* buckets = static_cast<int32_t*>(std::malloc(static_cast<size_t>(count) * sizeof(int32_t)));
  if (!buckets) RaiseOutOfMemory();
  for (int32_t i = 0; i < count; ++i) buckets[i] = -1;
  return buckets;
}

} // namespace

TGenericPointerSet::TGenericPointerSet(int32_t capacity) {
  if (capacity < MinCapacity) capacity = MinCapacity;
  if (capacity > MaxCapacity) RaiseOutOfMemory();
  FItems = static_cast<TGenericPointerSetItem*>(std::malloc(static_cast<size_t>(capacity) * sizeof(TGenericPointerSetItem)));
  if (!FItems) RaiseOutOfMemory();
  FBuckets = NewBuckets(OddBucketCount(capacity));
  FCapacity = capacity;
  FBucketCount = OddBucketCount(capacity);
}

TGenericPointerSet::~TGenericPointerSet() {
  std::free(FItems);
  std::free(FBuckets);
}

uint32_t TGenericPointerSet::GetHash(const void* p) const {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

bool TGenericPointerSet::ItemsEqual(const void* a, const void* b) const { return a == b; }

void TGenericPointerSet::Grow() {
  int64_t grown = FCapacity < MinCapacity ? MinCapacity : static_cast<int64_t>(FCapacity) * 2;
  if (grown > MaxCapacity) {
    if (FCapacity >= MaxCapacity) RaiseOutOfMemory();
    grown = MaxCapacity;
  }
  int32_t capacity = static_cast<int32_t>(grown);

  // Allocate both blocks before touching the set, so a failure leaves it intact.
  int32_t* buckets = NewBuckets(OddBucketCount(capacity));
  void* items = std::realloc(FItems, static_cast<size_t>(capacity) * sizeof(TGenericPointerSetItem));
  if (!items) {
    std::free(buckets);
    RaiseOutOfMemory();
  }
  std::free(FBuckets);
  FItems = static_cast<TGenericPointerSetItem*>(items);
  FBuckets = buckets;
  FCapacity = capacity;
  FBucketCount = OddBucketCount(capacity);

  // Rebuilt from the stored hashes: GetHash is not called again.
  for (int32_t i = 0; i < FUsed; ++i) {
    uint32_t bucket = BucketOf(FItems[i].Hash);
    FItems[i].Next = FBuckets[bucket];
    FBuckets[bucket] = i;
  }
}

int32_t TGenericPointerSet::Add(void* p) {
  uint32_t hash = GetHash(p);
  int32_t index = IndexOfHash(hash, p);
  if (index >= 0) return index;
  if (FUsed == FCapacity) Grow();
  index = FUsed++;
  uint32_t bucket = BucketOf(hash);
  TGenericPointerSetItem& item = FItems[index];
  item.Next = FBuckets[bucket];
  item.Hash = hash;
  item.Value = p;
  FBuckets[bucket] = index;
  ++FItemCount;
  return index;
}

} // namespace Quillmend
