// A set of pointers whose notion of identity a subclass chooses by overriding
// GetHash and ItemsEqual (for instance: C strings compared by content). Items
// live in one array with their stored hash and chain through indices; the set
// only grows, entries are never removed. No lock: callers serialize.
#pragma once

#include <cstdint>

#include "Hooking/ChainedBuckets.h"

namespace Quillmend {

struct TGenericPointerSetItem {
  int32_t Next;  // next item in the bucket's chain, -1 at the end
  uint32_t Hash;
  void* Value;
};

class TGenericPointerSet {
public:
  // The capacity is at least 16.
  explicit TGenericPointerSet(int32_t capacity = 16);
  virtual ~TGenericPointerSet();
  TGenericPointerSet(const TGenericPointerSet&) = delete;
  TGenericPointerSet& operator=(const TGenericPointerSet&) = delete;

  // Hash of P; by default the pointer's value.
  virtual uint32_t GetHash(const void* p) const;
  // Whether the stored item A and the probe B are the same; by default A == B.
  // Overrides must be reflexive: a pointer is always taken as equal to itself
  // without a call.
  virtual bool ItemsEqual(const void* a, const void* b) const;

  // Index of the item equal to P, adding P first if there is none.
  int32_t Add(void* p);
  // Lookups are inline: they sit on hot paths.
  bool Find(const void* p, int32_t& index) const {
    index = FItemCount > 0 && FStorage.BucketCount > 0 ? IndexOfHash(GetHash(p), p) : -1;
    return index >= 0;
  }
  // Index of the item with this stored hash that equals P, or -1.
  int32_t IndexOfHash(uint32_t hash, const void* p) const {
    if (FStorage.BucketCount == 0) return -1;
    int32_t index = FStorage.Buckets[MaskedBucket(hash, FStorage.BucketCount)];
    while (index >= 0) {
      const TGenericPointerSetItem& item = FStorage.Items[index];
      if (item.Hash == hash && (item.Value == p || ItemsEqual(item.Value, p))) break;
      index = item.Next;
    }
    return index;
  }

  int32_t Count() const { return FItemCount; }
  int32_t Capacity() const { return FStorage.Capacity; }
  int32_t BucketCount() const { return FStorage.BucketCount; }
  int32_t Used() const { return FUsed; }
  // Always -1: the set hands out slots in order and never frees one.
  int32_t FreeHead() const { return -1; }
  // Slot Index (0 <= Index < Used()).
  const TGenericPointerSetItem& Item(int32_t index) const { return FStorage.Items[index]; }
  void* Value(int32_t index) const { return FStorage.Items[index].Value; }

private:
  void Resize(int64_t capacity);

  TChainedStorage<TGenericPointerSetItem> FStorage;
  int32_t FUsed = 0;
  int32_t FItemCount = 0;
};

} // namespace Quillmend
