#include "Patches/Compiler/FileSearchTables.h"

#include "Hooking/ChainedBuckets.h"
#include "Hooking/StringHash.h"
#include "Hooking/TextCompare.h"

namespace Quillmend {

namespace {

constexpr int32_t MinimumCapacity = 16;

uint32_t KindHash(const char* name, int32_t kind) { return Utf8HashText(name) + uint32_t(kind) * 0x9E3779B1u; }

} // namespace

template <class TItem>
void TSearchTable<TItem>::Clear(int32_t capacity) {
  FCapacity = capacity < MinimumCapacity ? MinimumCapacity : capacity;
  FItems.clear();
  FItems.reserve(size_t(FCapacity));
  FBuckets.assign(size_t(OddBucketCount(FCapacity)), -1);
  FCount = 0;
  FFreeHead = -1;
}

template <class TItem>
uint32_t TSearchTable<TItem>::Bucket(uint32_t hash) const {
  return MaskedBucket(hash, int32_t(FBuckets.size()));
}

template <class TItem>
void TSearchTable<TItem>::Grow() {
  FCapacity = int32_t(DoubledCapacity(FCapacity));
  FItems.reserve(size_t(FCapacity));
  FBuckets.assign(size_t(OddBucketCount(FCapacity)), -1);
  for (int32_t i = 0; i < int32_t(FItems.size()); ++i)
    if (!FItems[size_t(i)].Free) LinkAtHead(FBuckets[Bucket(FItems[size_t(i)].Hash)], FItems[size_t(i)], i);
}

template <class TItem>
int32_t TSearchTable<TItem>::Add(TItem item) {
  item.Free = false;
  int32_t index = FFreeHead;
  if (index >= 0) {
    FFreeHead = FItems[size_t(index)].Next;
    FItems[size_t(index)] = std::move(item);
  } else {
    if (int32_t(FItems.size()) == FCapacity) Grow();
    index = int32_t(FItems.size());
    FItems.push_back(std::move(item));
  }
  TItem& added = FItems[size_t(index)];
  LinkAtHead(FBuckets[Bucket(added.Hash)], added, index);
  ++FCount;
  return index;
}

template <class TItem>
void TSearchTable<TItem>::Remove(int32_t index) {
  TItem& item = FItems[size_t(index)];
  int32_t* link = &FBuckets[Bucket(item.Hash)];
  while (*link != index) link = &FItems[size_t(*link)].Next;
  *link = item.Next;
  item = TItem{};
  item.Free = true;
  item.Next = FFreeHead;
  FFreeHead = index;
  --FCount;
}

template class TSearchTable<TEntryItem>;
template class TSearchTable<TDirNameItem>;
template class TSearchTable<TFileNameItem>;

// ---- TEntryDictionary ------------------------------------------------------------------

void* TEntryDictionary::Find(const char* name, int32_t kind) const {
  const int32_t i = FTable.Find(KindHash(name, kind), [&](const TEntryItem& item) {
    return item.Kind == kind && Utf8CompareText(item.Name.c_str(), name) == 0;
  });
  return i < 0 ? nullptr : FTable[i].Obj;
}

void TEntryDictionary::Add(const char* name, int32_t kind, void* obj) {
  FTable.Add(TEntryItem{-1, KindHash(name, kind), false, name, kind, obj});
}

// ---- TDirNameDictionary ------------------------------------------------------------------

int32_t TDirNameDictionary::Intern(const char* dir) {
  if (!dir || !*dir) return -1;
  const uint32_t hash = Utf8HashText(dir);
  const int32_t i =
      FTable.Find(hash, [&](const TDirNameItem& item) { return Utf8CompareText(item.Name.c_str(), dir) == 0; });
  return i >= 0 ? i : FTable.Add(TDirNameItem{-1, hash, false, dir});
}

// ---- TFileNameDictionary -------------------------------------------------------------------

int32_t TFileNameDictionary::Index(int32_t dirIndex, int32_t kind, const char* name, uint32_t hash) const {
  return FTable.Find(hash, [&](const TFileNameItem& item) {
    return item.DirIndex == dirIndex && item.Kind == kind && Utf8CompareText(item.Name.c_str(), name) == 0;
  });
}

const TFileNameItem* TFileNameDictionary::Find(int32_t dirIndex, int32_t kind, const char* name) const {
  const int32_t i = Index(dirIndex, kind, name, KindHash(name, kind) + uint32_t(dirIndex));
  return i < 0 ? nullptr : &FTable[i];
}

void TFileNameDictionary::Store(int32_t dirIndex, int32_t kind, const char* name, const char* foundPath,
                                uint32_t value) {
  const uint32_t hash = KindHash(name, kind) + uint32_t(dirIndex);
  const int32_t i = Index(dirIndex, kind, name, hash);
  if (i >= 0) {
    FTable[i].FoundPath = foundPath;
    FTable[i].FoundHash = Utf8HashText(foundPath);
    FTable[i].Value = value;
    return;
  }
  FTable.Add(TFileNameItem{-1, hash, false, dirIndex, kind, name, foundPath, Utf8HashText(foundPath), value});
}

int32_t TFileNameDictionary::DropFound(const char* path) {
  const uint32_t hash = Utf8HashText(path);
  std::vector<int32_t> dropped;
  FTable.ForEach([&](TFileNameItem& item) {
    if (item.FoundHash == hash && Utf8CompareText(item.FoundPath.c_str(), path) == 0)
      dropped.push_back(int32_t(&item - &FTable[0]));
  });
  for (int32_t i : dropped) FTable.Remove(i);
  return int32_t(dropped.size());
}

} // namespace Quillmend
