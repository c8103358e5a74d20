#include "Hooking/PointerHashTable.h"

#include "Hooking/EngineError.h"

#include <cstdlib>

namespace Quillmend {

namespace {

// Buckets are odd in number: keys are aligned addresses, and an even modulus
// would leave every other bucket unused.
int32_t OddBucketCount(int32_t capacity) { return (capacity & 1) ? capacity : capacity + 1; }

int32_t* NewBuckets(int32_t count) {
  int32_t* buckets = static_cast<int32_t*>(std::malloc(static_cast<size_t>(count) * sizeof(int32_t)));
  if (!buckets) RaiseOutOfMemory();
  for (int32_t i = 0; i < count; ++i) buckets[i] = -1;
  return buckets;
}

} // namespace

TPointerHashTable::TPointerHashTable(int32_t capacity) { Clear(capacity); }

TPointerHashTable::~TPointerHashTable() { Release(); }

void TPointerHashTable::Release() {
  std::free(FItems);
  std::free(FBuckets);
  FItems = nullptr;
  FBuckets = nullptr;
  FCapacity = 0;
  FBucketCount = 0;
  FUsed = 0;
  FFreeHead = -1;
  FItemCount = 0;
}

void TPointerHashTable::Allocate(int32_t capacity) {
  FItems = static_cast<TPointerHashTableItem*>(std::malloc(static_cast<size_t>(capacity) * sizeof(TPointerHashTableItem)));
  if (!FItems) RaiseOutOfMemory();
  FBuckets = NewBuckets(OddBucketCount(capacity));
  FCapacity = capacity;
  FBucketCount = OddBucketCount(capacity);
}

void TPointerHashTable::Clear(int32_t capacity) {
  Release();
  if (capacity < 0) capacity = 16;
  if (capacity > 0) Allocate(capacity);
}

void TPointerHashTable::Grow() {
  int64_t grown = FCapacity <= 16 ? FCapacity + 16 : FCapacity <= 128 ? FCapacity + 32 : FCapacity + FCapacity / 4;
  // Beyond this the item and bucket blocks could not be addressed anyway.
  if (grown > 0x7FFFFFFF / static_cast<int64_t>(sizeof(TPointerHashTableItem))) RaiseOutOfMemory();
  int32_t capacity = static_cast<int32_t>(grown);

  // Allocate both blocks before touching the table, so a failure leaves it intact.
  int32_t* buckets = NewBuckets(OddBucketCount(capacity));
  void* items = std::realloc(FItems, static_cast<size_t>(capacity) * sizeof(TPointerHashTableItem));
  if (!items) {
    std::free(buckets);
    RaiseOutOfMemory();
  }
  std::free(FBuckets);
  FItems = static_cast<TPointerHashTableItem*>(items);
  FBuckets = buckets;
  FCapacity = capacity;
  FBucketCount = OddBucketCount(capacity);

  // Growth happens only with no free slot, so items 0 .. Used-1 are all live.
  for (int32_t i = 0; i < FUsed; ++i) {
    uint32_t bucket = BucketOf(FItems[i].Key);
    FItems[i].Next = FBuckets[bucket];
    FBuckets[bucket] = i;
  }
}

void TPointerHashTable::AddOrSetValue(void* key, void* value) {
  int32_t index = IndexOf(key);
  if (index >= 0) {
    FItems[index].Value = value;
    return;
  }
  if (FFreeHead >= 0) {
    index = FFreeHead;
    FFreeHead = FItems[index].Next;
  } else {
    if (FUsed == FCapacity) Grow();
    index = FUsed++;
  }
  uint32_t bucket = BucketOf(key);
  TPointerHashTableItem& item = FItems[index];
  item.Next = FBuckets[bucket];
  item.InUse = true;
  item.Key = key;
  item.Value = value;
  FBuckets[bucket] = index;
  ++FItemCount;
}

void* TPointerHashTable::Remove(const void* key) {
  if (FItemCount == 0) return nullptr;
  int32_t* link = &FBuckets[BucketOf(key)];
  while (*link >= 0) {
    int32_t index = *link;
    TPointerHashTableItem& item = FItems[index];
    if (item.Key == key) {
      void* value = item.Value;
      *link = item.Next;
      item.InUse = false;
      item.Key = nullptr;
      item.Value = nullptr;
      item.Next = FFreeHead;
      FFreeHead = index;
      --FItemCount;
      return value;
    }
    link = &item.Next;
  }
  return nullptr;
}

void TPointerHashTable::ChangeKey(const void* oldKey, void* newKey) {
  if (FItemCount > 0 && oldKey != newKey) AddOrSetValue(newKey, Remove(oldKey));
}

bool TPointerHashTable::ForEach(TForEachProc callback, void* data) const {
  bool Continue = true;
  if (FItemCount == 0 || !callback) return Continue;
  int32_t remaining = FItemCount;
  // The callback may change the table, so every slot is read afresh and the
  // walk never passes the current high-water mark.
  for (int32_t i = 0; i < FUsed && remaining > 0; ++i) {
    const TPointerHashTableItem& item = FItems[i];
    if (!item.InUse) continue;
    --remaining;
    callback(data, item.Key, item.Value, Continue);
    if (!Continue) break;
  }
  return Continue;
}

} // namespace Quillmend
