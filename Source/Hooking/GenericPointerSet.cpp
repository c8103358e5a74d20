#include "Hooking/GenericPointerSet.h"

namespace Quillmend {

namespace {

constexpr int32_t MinCapacity = 16;
constexpr int32_t MaxCapacity = TChainedStorage<TGenericPointerSetItem>::MaxCapacity;

} // namespace

TGenericPointerSet::TGenericPointerSet(int32_t capacity) { Resize(capacity < MinCapacity ? MinCapacity : capacity); }

TGenericPointerSet::~TGenericPointerSet() { FStorage.Release(); }

uint32_t TGenericPointerSet::GetHash(const void* p) const {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

bool TGenericPointerSet::ItemsEqual(const void* a, const void* b) const { return a == b; }

void TGenericPointerSet::Resize(int64_t capacity) {
  // Re-linked from the stored hashes: GetHash is not called again.
  FStorage.Resize(capacity, FUsed, [](const TGenericPointerSetItem& item, int32_t bucketCount) {
    return MaskedBucket(item.Hash, bucketCount);
  });
}

int32_t TGenericPointerSet::Add(void* p) {
  uint32_t hash = GetHash(p);
  int32_t index = IndexOfHash(hash, p);
  if (index >= 0) return index;
  if (FUsed == FStorage.Capacity) {
    // The last doubling stops at the largest addressable capacity.
    int64_t capacity = DoubledCapacity(FStorage.Capacity);
    Resize(capacity > MaxCapacity && FStorage.Capacity < MaxCapacity ? MaxCapacity : capacity);
  }
  index = FUsed++;
  TGenericPointerSetItem& item = FStorage.Items[index];
  LinkAtHead(FStorage.Buckets[MaskedBucket(hash, FStorage.BucketCount)], item, index);
  item.Hash = hash;
  item.Value = p;
  ++FItemCount;
  return index;
}

} // namespace Quillmend
