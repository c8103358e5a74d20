#include "Patches/Compiler/PackageLookup.h"

#include "Hooking/StringHash.h"

namespace Quillmend {

namespace {

constexpr int32_t MinPackageCapacity = 16;
constexpr int32_t MinUnitCapacity = 1024;

int32_t OddBucketCount(size_t capacity) { return int32_t(capacity | 1); }

uint32_t BucketOf(uint32_t hash, size_t bucketCount) { return (hash & 0x7FFFFFFF) % uint32_t(bucketCount); }

bool Unloading(const TDccPackage* package) { return (package->Flags & DccPackageUnloading) != 0; }

// Relinks every used slot into freshly emptied buckets (free slots stay on the free list).
template <class TSlot, class InUse>
void Rehash(std::vector<TSlot>& slots, std::vector<int32_t>& buckets, size_t bucketCount, InUse inUse) {
  buckets.assign(bucketCount, -1);
  for (size_t i = 0; i < slots.size(); ++i) {
    if (!inUse(slots[i])) continue;
    int32_t& bucket = buckets[BucketOf(slots[i].Hash, bucketCount)];
    slots[i].Next = bucket;
    bucket = int32_t(i);
  }
}

} // namespace

void TPackageLookup::Build(TDccPackage* head) {
  ListHead = head;
  for (TDccPackage* package = head; package; package = package->Next) AddPackage(package);
}

int32_t TPackageLookup::FindPackageSlot(uint32_t hash, const char* name) const {
  if (FPackageBuckets.empty()) return -1;
  for (int32_t i = FPackageBuckets[BucketOf(hash, FPackageBuckets.size())]; i >= 0; i = FPackages[size_t(i)].Next) {
    const TPackageLookupItem& item = FPackages[size_t(i)];
    if (item.Hash == hash && FCompare(item.Package->Name, name) == 0) return i;
  }
  return -1;
}

int32_t TPackageLookup::FindUnitSlot(uint32_t hash, const char* name) const {
  if (FUnitBuckets.empty()) return -1;
  for (int32_t i = FUnitBuckets[BucketOf(hash, FUnitBuckets.size())]; i >= 0; i = FUnits[size_t(i)].Next) {
    const TPackageUnitSlot& slot = FUnits[size_t(i)];
    if (slot.Hash == hash && FCompare(slot.UnitNode->Name, name) == 0) return i;
  }
  return -1;
}

void TPackageLookup::GrowPackages() {
  size_t capacity = FPackageBuckets.empty() ? MinPackageCapacity : (FPackageBuckets.size() - 1) * 2;
  FPackages.reserve(capacity);
  Rehash(FPackages, FPackageBuckets, size_t(OddBucketCount(capacity)),
         [](const TPackageLookupItem& item) { return item.Package != nullptr; });
}

void TPackageLookup::GrowUnits() {
  size_t capacity = FUnitBuckets.empty() ? MinUnitCapacity : (FUnitBuckets.size() - 1) * 2;
  FUnits.reserve(capacity);
  Rehash(FUnits, FUnitBuckets, size_t(OddBucketCount(capacity)),
         [](const TPackageUnitSlot& slot) { return slot.Package != nullptr; });
}

void TPackageLookup::AddPending(int32_t slot) {
  TPackageLookupItem& item = FPackages[size_t(slot)];
  if (item.Pending) return;
  item.Pending = true;
  item.PendingNext = -1;
  if (FPendingTail >= 0)
    FPackages[size_t(FPendingTail)].PendingNext = slot;
  else
    FPendingHead = slot;
  FPendingTail = slot;
}

void TPackageLookup::AddPackage(TDccPackage* package) {
  if (!package) return;
  const uint32_t hash = Utf8HashText(package->Name);
  if (FindPackageSlot(hash, package->Name) >= 0) return;
  int32_t slot = FPackageFree;
  if (slot >= 0) {
    FPackageFree = FPackages[size_t(slot)].Next;
  } else {
    // Full when every bucket would hold a slot: grow first (capacity = buckets - 1).
    if (FPackageBuckets.empty() || FPackages.size() >= FPackageBuckets.size() - 1) GrowPackages();
    slot = int32_t(FPackages.size());
    FPackages.emplace_back();
  }
  TPackageLookupItem& item = FPackages[size_t(slot)];
  item.Hash = hash;
  item.Package = package;
  item.Indexed = 0;
  int32_t& bucket = FPackageBuckets[BucketOf(hash, FPackageBuckets.size())];
  item.Next = bucket;
  bucket = slot;
  ++FPackageCount;
  AddPending(slot);
}

TDccPackage* TPackageLookup::FindPackage(const char* name) const {
  int32_t slot = FindPackageSlot(Utf8HashText(name), name);
  return slot >= 0 ? FPackages[size_t(slot)].Package : nullptr;
}

void TPackageLookup::IndexUnits(TDccPackage* package) {
  for (TDccPackageUnit* node = package->Units; node; node = node->Next) {
    const uint32_t hash = Utf8HashText(node->Name);
    if (int32_t first = FindUnitSlot(hash, node->Name); first >= 0) {
      ++FShadowed;  // the first package of the name keeps it
      ++FUnits[size_t(first)].Shadows;
      continue;
    }
    int32_t slot = FUnitFree;
    if (slot >= 0) {
      FUnitFree = FUnits[size_t(slot)].Next;
    } else {
      if (FUnitBuckets.empty() || FUnits.size() >= FUnitBuckets.size() - 1) GrowUnits();
      slot = int32_t(FUnits.size());
      FUnits.emplace_back();
    }
    TPackageUnitSlot& unit = FUnits[size_t(slot)];
    unit.Hash = hash;
    unit.Package = package;
    unit.UnitNode = node;
    int32_t& bucket = FUnitBuckets[BucketOf(hash, FUnitBuckets.size())];
    unit.Next = bucket;
    bucket = slot;
    ++FUnitCount;
    ++FUnitsIndexed;
  }
}

// Each waiting package is looked at once per refresh: one that is being
// unloaded or has no units yet goes onto the new pending list.
void TPackageLookup::RefreshPending() {
  int32_t slot = FPendingHead;
  FPendingHead = FPendingTail = -1;
  while (slot >= 0) {
    TPackageLookupItem& item = FPackages[size_t(slot)];
    const int32_t next = item.PendingNext;
    item.Pending = false;
    item.PendingNext = -1;
    if (TDccPackage* package = item.Package) {
      if (Unloading(package) || !package->Units) {
        AddPending(slot);
      } else if (!item.Indexed) {
        IndexUnits(package);
        item.Indexed = 1;
      }
    }
    slot = next;
  }
}

void TPackageLookup::RemoveUnitsOf(const TDccPackage* package) {
  bool removed = false;
  for (size_t i = 0; i < FUnits.size(); ++i) {
    if (FUnits[i].Package != package) continue;
    int32_t* link = &FUnitBuckets[BucketOf(FUnits[i].Hash, FUnitBuckets.size())];
    while (*link != int32_t(i)) link = &FUnits[size_t(*link)].Next;
    *link = FUnits[i].Next;
    FUnits[i] = TPackageUnitSlot();
    FUnits[i].Next = FUnitFree;
    FUnitFree = int32_t(i);
    --FUnitCount;
    removed = true;
  }
  // A name another package holds too was left out for this one: the next use rebuilds.
  if (removed && FShadowed > 0) FStale = true;
}

void TPackageLookup::RemovePackage(TDccPackage* package) {
  if (!package || FPackageBuckets.empty()) return;
  const uint32_t hash = Utf8HashText(package->Name);
  int32_t* link = &FPackageBuckets[BucketOf(hash, FPackageBuckets.size())];
  while (*link >= 0 && FPackages[size_t(*link)].Package != package) link = &FPackages[size_t(*link)].Next;
  const int32_t slot = *link;
  if (slot < 0) return;
  TPackageLookupItem& item = FPackages[size_t(slot)];
  *link = item.Next;
  const bool indexed = item.Indexed != 0;
  // A slot still on the pending list stays there (Pending) and is skipped while it is free.
  item.Package = nullptr;
  item.Hash = uint32_t(-1);
  item.Indexed = 0;
  item.Next = FPackageFree;
  FPackageFree = slot;
  --FPackageCount;
  if (indexed) RemoveUnitsOf(package);
}

const TPackageUnitSlot* TPackageLookup::FindUnitEntry(const char* name, bool skipRefresh) {
  if (FStale) Rebuild();
  if (!skipRefresh) RefreshPending();
  const uint32_t hash = Utf8HashText(name);
  int32_t slot = FindUnitSlot(hash, name);
  if (slot < 0) return nullptr;
  TDccPackage* package = FUnits[size_t(slot)].Package;
  if (!Unloading(package)) return &FUnits[size_t(slot)];
  // Its units leave the table until it is gone or no longer unloading.
  const int32_t packageSlot = FindPackageSlot(Utf8HashText(package->Name), package->Name);
  if (packageSlot >= 0) {
    FPackages[size_t(packageSlot)].Indexed = 0;
    AddPending(packageSlot);
  }
  RemoveUnitsOf(package);
  if (!FStale) return nullptr;
  // Another package may hold the name: the rebuilt lookup answers (the
  // unloading package waits on its pending list, unindexed).
  Rebuild();
  RefreshPending();
  slot = FindUnitSlot(hash, name);
  return slot >= 0 && !Unloading(FUnits[size_t(slot)].Package) ? &FUnits[size_t(slot)] : nullptr;
}

void TPackageLookup::Clear() {
  FPackages.clear();
  FPackageBuckets.clear();
  FPackageFree = -1;
  FPackageCount = 0;
  FPendingHead = FPendingTail = -1;
  FUnits.clear();
  FUnitBuckets.clear();
  FUnitFree = -1;
  FUnitCount = 0;
  FShadowed = 0;
  FStale = false;
}

void TPackageLookup::Rebuild() {
  Clear();
  Build(ListHead);
  ++FRebuildCount;
}

} // namespace Quillmend
