// A hash table from pointer to pointer. Items live in one array and chain
// through indices, so a lookup touches no separately allocated nodes; freed
// slots are reused before new ones are handed out. No lock: callers serialize.
#pragma once

#include <cstdint>

#include "Hooking/ChainedBuckets.h"

namespace Quillmend {

struct TPointerHashTableItem {
  int32_t Next;  // next item in the bucket's chain or in the free chain, -1 at the end
  bool InUse;
  void* Key;
  void* Value;
};

class TPointerHashTable {
public:
  // Callback of ForEach; set Continue to false to stop the walk.
  typedef void (*TForEachProc)(void* data, void* key, void* value, bool& Continue);

  // Capacity 0 creates the table without storage, a negative one means 16.
  explicit TPointerHashTable(int32_t capacity = 0);
  ~TPointerHashTable();
  TPointerHashTable(const TPointerHashTable&) = delete;
  TPointerHashTable& operator=(const TPointerHashTable&) = delete;

  // Drops every entry and reallocates for Capacity items (same rules as the constructor).
  void Clear(int32_t capacity = 0);

  // Index of the key's item, or -1. Lookups are inline: they sit on hot paths.
  int32_t IndexOf(const void* key) const {
    if (FStorage.BucketCount == 0) return -1;
    int32_t index = FStorage.Buckets[BucketOf(key)];
    while (index >= 0 && FStorage.Items[index].Key != key) index = FStorage.Items[index].Next;
    return index;
  }
  bool TryGetValue(const void* key, void*& value) const {
    int32_t index = FItemCount > 0 ? IndexOf(key) : -1;
    value = index >= 0 ? FStorage.Items[index].Value : nullptr;
    return index >= 0;
  }
  // Adds the key or replaces the value of an existing one.
  void AddOrSetValue(void* key, void* value);
  // Removes the key and returns its value; null if it was absent.
  void* Remove(const void* key);
  // Moves OldKey's value to NewKey. NewKey is added (with a null value) even
  // when OldKey is absent, as long as the table is not empty.
  void ChangeKey(const void* oldKey, void* newKey);
  // Calls Callback for every live entry in slot order until it clears
  // Continue; returns the last value of Continue (true if nothing was visited).
  bool ForEach(TForEachProc callback, void* data) const;

  int32_t Count() const { return FItemCount; }
  int32_t Capacity() const { return FStorage.Capacity; }
  int32_t BucketCount() const { return FStorage.BucketCount; }
  int32_t Used() const { return FUsed; }
  int32_t FreeHead() const { return FFreeHead; }
  // Slot Index (0 <= Index < Used()).
  const TPointerHashTableItem& Item(int32_t index) const { return FStorage.Items[index]; }

private:
  static uint32_t KeyBucket(const void* key, int32_t bucketCount) {
    return MaskedBucket(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key)), bucketCount);
  }
  uint32_t BucketOf(const void* key) const { return KeyBucket(key, FStorage.BucketCount); }
  void Resize(int64_t capacity);

  TChainedStorage<TPointerHashTableItem> FStorage;
  int32_t FUsed = 0;
  int32_t FFreeHead = -1;
  int32_t FItemCount = 0;
};

} // namespace Quillmend
