#include "Patches/Compiler/UnitNameDictionary.h"

#include <algorithm>

#include "Patches/Compiler/CompilerOptimization.h"
#include "Patches/Compiler/UnitNameHash.h"

namespace Quillmend {

TUnitNameDictionary UnitNameDictionary;

namespace {

inline int32_t NameBucket(uint32_t hash, int32_t bucketCount) { return int32_t(MaskedBucket(hash, bucketCount)); }

// Items are chained by their stored name hash.
struct TNameHashBucket {
  int32_t operator()(const TUnitNameDictionaryItem& item, int32_t bucketCount) const {
    return NameBucket(item.Hash, bucketCount);
  }
};

} // namespace

void TUnitNameDictionary::ReleaseItems() {
  ReleaseChains(Items, Buckets, BucketCount);
  Count = 0;
  Indexed.Clear(0);
  Shadowed = 0;
}

void TUnitNameDictionary::Reset() {
  Valid = false;
  ListHead = nullptr;
  ReleaseItems();
  Pending = TUnitHashSet();
  Pending.Init(16);
  Deferred = TUnitHashSet();
  LastRemoved = nullptr;
}

void TUnitNameDictionary::Rebuild() {
  Pending.Clear();
  Deferred.Clear();
  LastRemoved = nullptr;
  int32_t count = 0;
  for (TDccUnit* unit = *UnitListHead; unit; unit = unit->Next) ++count;
  ReleaseItems();
  if (count > 0) {
    int32_t capacity = std::max<int32_t>(count, 16);
    InitChains(Items, Buckets, BucketCount, capacity);
    Indexed.Clear(capacity);
    for (TDccUnit* unit = *UnitListHead; unit; unit = unit->Next) Add(unit);
  }
  Valid = true;
  ++RebuildCount;
}

int32_t TUnitNameDictionary::Find(uint32_t hash, const char* name) const {
  if (BucketCount < 1) return -1;
  for (int32_t i = Buckets[size_t(NameBucket(hash, BucketCount))]; i != -1; i = Items[size_t(i)].Next) {
    const TUnitNameDictionaryItem& item = Items[size_t(i)];
    if (item.Hash == hash && item.Unit->UnitSymbol &&
        HostNameCompare(item.Unit->UnitSymbol->Name, name) == 0)
      return i;
  }
  return -1;
}

void TUnitNameDictionary::Add(TDccUnit* unit) {
  if (!unit) return;
  if (!unit->UnitSymbol) {
    Deferred.Add(unit);
    return;
  }
  const char* name = unit->UnitSymbol->Name;
  uint32_t hash = UnitNameHash(name);
  if (Find(hash, name) != -1) {
    ++Shadowed;
    return;
  }
  int32_t index = AppendToChains(Items, Buckets, BucketCount, Count, TUnitNameDictionaryItem{-1, hash, unit},
                                 TNameHashBucket());
  Indexed.AddOrSetValue(unit, reinterpret_cast<void*>(uintptr_t(index + 1)));
}

// Unlinks the unit's item and moves the last item into its slot.
void TUnitNameDictionary::Drop(TDccUnit* unit) {
  void* slot = Indexed.Remove(unit);
  if (!slot) return;
  int32_t index = int32_t(uintptr_t(slot)) - 1;
  auto unlink = [this](int32_t i) {
    int32_t* link = &Buckets[size_t(NameBucket(Items[size_t(i)].Hash, BucketCount))];
    while (*link != i) link = &Items[size_t(*link)].Next;
    *link = Items[size_t(i)].Next;
  };
  unlink(index);
  int32_t last = Count - 1;
  if (index != last) {
    unlink(last);
    TUnitNameDictionaryItem& moved = Items[size_t(index)];
    moved = Items[size_t(last)];
    LinkAtHead(Buckets[size_t(NameBucket(moved.Hash, BucketCount))], moved, index);
    Indexed.AddOrSetValue(moved.Unit, reinterpret_cast<void*>(uintptr_t(index + 1)));
  }
  --Count;
  if (Shadowed > 0) Valid = false;
}

void TUnitNameDictionary::Synchronise(TDccUnit* head) {
  if (!(Valid && head == ListHead && !LastRemoved)) {
    ListHead = head;
    Rebuild();
    return;
  }
  if (Pending.IsEmpty() && Deferred.IsEmpty()) return;  // nothing appended since
  // Units that got their symbol since: they precede every pending unit on the
  // list, but their place among the indexed ones is unknown, so a name taken
  // already means the list decides.
  if (!Deferred.IsEmpty()) {
    std::vector<TDccUnit*> named;
    Deferred.ForEach([&named](void* p) {
      TDccUnit* unit = static_cast<TDccUnit*>(p);
      if (unit->UnitSymbol) named.push_back(unit);
    });
    for (TDccUnit* unit : named) {
      Deferred.Remove(unit);
      if (Find(UnitNameHash(unit->UnitSymbol->Name), unit->UnitSymbol->Name) != -1) {
        Rebuild();
        return;
      }
      Add(unit);
    }
  }
  Pending.ForEach([this](void* p) { Add(static_cast<TDccUnit*>(p)); });
  Pending.Clear();
}

TDccUnit* TUnitNameDictionary::Lookup(const char* name) {
  if (BucketCount == 0) return nullptr;
  int32_t i = Find(UnitNameHash(name), name);
  return i == -1 ? nullptr : Items[size_t(i)].Unit;
}

void TUnitNameDictionary::UnitAppended(TDccUnit* unit) {
  if (unit == LastRemoved) LastRemoved = nullptr;
  if (!Valid) return;
  // A removed unit left the index, so a unit coming back is added again.
  if (Count > 0 || !Deferred.IsEmpty())
    Pending.Add(unit);
  else
    Valid = false;
}

void TUnitNameDictionary::UnitRemoved(TDccUnit* unit) {
  Pending.Remove(unit);
  Deferred.Remove(unit);
  if (Valid) Drop(unit);
  if (LastRemoved && LastRemoved != unit) {
    Valid = false;
    LastRemoved = nullptr;
  } else {
    LastRemoved = unit;
  }
  // Nothing indexed may point at a record that is gone once the index is stale.
  if (!Valid) ReleaseItems();
}

} // namespace Quillmend

