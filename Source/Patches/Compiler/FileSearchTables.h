// The hash tables of the compiler's file-search caches, all built the same
// way: items in one array chained through their Next index, bucket heads
// (-1 for an empty bucket), bucket count = capacity made odd, at least 16
// items; a full table doubles and links every item again; a new item goes to
// the head of its bucket. Names are zero-terminated UTF-8 and compared (and
// hashed) ignoring case (Utf8CompareText, Utf8HashText).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Quillmend {

template <class TItem>
class TSearchTable {
public:
  explicit TSearchTable(int32_t capacity = 16) { Clear(capacity); }

  // Empties the table, room for `capacity` items (at least 16).
  void Clear(int32_t capacity);
  int32_t Count() const { return FCount; }
  TItem& operator[](int32_t index) { return FItems[size_t(index)]; }
  const TItem& operator[](int32_t index) const { return FItems[size_t(index)]; }

  // The index of the first item of the hash's bucket that `matches`, -1 if none.
  template <class F>
  int32_t Find(uint32_t hash, F&& matches) const {
    if (FBuckets.empty()) return -1;
    for (int32_t i = FBuckets[Bucket(hash)]; i >= 0; i = FItems[size_t(i)].Next)
      if (FItems[size_t(i)].Hash == hash && matches(FItems[size_t(i)])) return i;
    return -1;
  }
  // Adds an item (its Hash set); its index. A removed item's slot is used first.
  int32_t Add(TItem item);
  // Takes the item out of its chain; its slot is used again.
  void Remove(int32_t index);
  // Calls f(item) for every item.
  template <class F>
  void ForEach(F&& f) {
    for (TItem& item : FItems)
      if (!item.Free) f(item);
  }

private:
  uint32_t Bucket(uint32_t hash) const;
  void Grow();

  std::vector<TItem> FItems;
  std::vector<int32_t> FBuckets;
  int32_t FCapacity = 0;
  int32_t FCount = 0;
  int32_t FFreeHead = -1;
};

// Name (and kind) → object: the directories of the cache, a directory's
// files, the per-kind index.
struct TEntryItem {
  int32_t Next;
  uint32_t Hash;
  bool Free;
  std::string Name;
  int32_t Kind;
  void* Obj;
};
class TEntryDictionary {
public:
  explicit TEntryDictionary(int32_t capacity = 16) : FTable(capacity) {}
  void* Find(const char* name, int32_t kind = 0) const;
  void Add(const char* name, int32_t kind, void* obj);
  void Clear(int32_t capacity) { FTable.Clear(capacity); }
  int32_t Count() const { return FTable.Count(); }
  template <class F>
  void ForEach(F&& f) {
    FTable.ForEach([&](TEntryItem& item) { f(item.Name, item.Kind, item.Obj); });
  }

private:
  TSearchTable<TEntryItem> FTable;
};

// Directory → index, the directory part of the search results' keys.
struct TDirNameItem {
  int32_t Next;
  uint32_t Hash;
  bool Free;
  std::string Name;
};
class TDirNameDictionary {
public:
  explicit TDirNameDictionary(int32_t capacity = 16) : FTable(capacity) {}
  // The index of `dir`, added if absent; -1 for a null or empty directory.
  int32_t Intern(const char* dir);
  int32_t NameCount() const { return FTable.Count(); }
  void Clear(int32_t capacity) { FTable.Clear(capacity); }

private:
  TSearchTable<TDirNameItem> FTable;
};

// (directory index, kind, name) → the path found and its age: the search
// results. The kind belongs to the key: the same name in the same directory
// (or in none, -1) is searched along another list for another kind.
struct TFileNameItem {
  int32_t Next;
  uint32_t Hash;
  bool Free;
  int32_t DirIndex;
  int32_t Kind;
  std::string Name;
  std::string FoundPath;
  uint32_t FoundHash;  // Utf8HashText of FoundPath
  uint32_t Value;
};
class TFileNameDictionary {
public:
  explicit TFileNameDictionary(int32_t capacity = 16) : FTable(capacity) {}
  // The item of the key, or null.
  const TFileNameItem* Find(int32_t dirIndex, int32_t kind, const char* name) const;
  // Stores (or replaces) the key's answer.
  void Store(int32_t dirIndex, int32_t kind, const char* name, const char* foundPath, uint32_t value);
  // Drops every answer that found `path` (a file written since); how many.
  int32_t DropFound(const char* path);
  int32_t Count() const { return FTable.Count(); }
  void Clear(int32_t capacity) { FTable.Clear(capacity); }

private:
  int32_t Index(int32_t dirIndex, int32_t kind, const char* name, uint32_t hash) const;
  TSearchTable<TFileNameItem> FTable;
};

} // namespace Quillmend
