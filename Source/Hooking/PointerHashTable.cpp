#include "Hooking/PointerHashTable.h"

namespace Quillmend {

namespace {

// The table's own growth steps: +16 while at most 16 items, +32 while at
// most 128, then a quarter more.
int64_t SteppedCapacity(int64_t capacity) {
  return capacity <= 16 ? capacity + 16 : capacity <= 128 ? capacity + 32 : capacity + capacity / 4;
}

} // namespace

TPointerHashTable::TPointerHashTable(int32_t capacity) { Clear(capacity); }

TPointerHashTable::~TPointerHashTable() { Clear(0); }

void TPointerHashTable::Clear(int32_t capacity) {
  FStorage.Release();
  FUsed = 0;
  FFreeHead = -1;
  FItemCount = 0;
  if (capacity < 0) capacity = 16;
  if (capacity > 0) Resize(capacity);
}

void TPointerHashTable::Resize(int64_t capacity) {
  // Growth happens only with no free slot, so items 0 .. Used-1 are all live.
  FStorage.Resize(capacity, FUsed,
                  [](const TPointerHashTableItem& item, int32_t bucketCount) { return KeyBucket(item.Key, bucketCount); });
}

void TPointerHashTable::AddOrSetValue(void* key, void* value) {
  int32_t index = IndexOf(key);
  if (index >= 0) {
    FStorage.Items[index].Value = value;
    return;
  }
  if (FFreeHead >= 0) {
    index = FFreeHead;
    FFreeHead = FStorage.Items[index].Next;
  } else {
    if (FUsed == FStorage.Capacity) Resize(SteppedCapacity(FStorage.Capacity));
    index = FUsed++;
  }
  TPointerHashTableItem& item = FStorage.Items[index];
  LinkAtHead(FStorage.Buckets[BucketOf(key)], item, index);
  item.InUse = true;
  item.Key = key;
  item.Value = value;
  ++FItemCount;
}

void* TPointerHashTable::Remove(const void* key) {
  if (FItemCount == 0) return nullptr;
  int32_t* link = &FStorage.Buckets[BucketOf(key)];
  while (*link >= 0) {
    int32_t index = *link;
    TPointerHashTableItem& item = FStorage.Items[index];
    if (item.Key == key) {
      void* value = item.Value;
      *link = item.Next;
      item.InUse = false;
      item.Key = nullptr;
      item.Value = nullptr;
      LinkAtHead(FFreeHead, item, index);
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
    const TPointerHashTableItem& item = FStorage.Items[i];
    if (!item.InUse) continue;
    --remaining;
    callback(data, item.Key, item.Value, Continue);
    if (!Continue) break;
  }
  return Continue;
}

} // namespace Quillmend
