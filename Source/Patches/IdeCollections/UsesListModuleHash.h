// TUsesListModuleHash: the uses list's index by unit name, replacing the
// host's sorted list. A host-layout object (its class record comes from the
// run-time's TObject), since the host frees it through TObject.Free.
//
// Entries live in one array and chain through indices (Next; −1 ends a
// chain); freed slots form a free list reused first. The bucket count is
// odd. Keys are hashed case-folded (upper-cased, then lower-cased) with
// UnicodeHashTextI, so two names the file-name comparison calls equal share
// a bucket even when they differ in non-ASCII case.
#pragma once

#include <cstdint>
#include <string>

#include "Framework/HostAbi.h"

namespace Quillmend {

// Compares two unit names the way the uses list matches them (the host's
// SameFileName); bound when the patch commits.
using TSameFileName = uint8_t(QM_REGISTER*)(const wchar_t* a, const wchar_t* b);  // Boolean in AL

class TUsesListModuleHash {
public:
  struct TEntry {
    int32_t Next;
    uint32_t Hash;
    wchar_t* Key;  // the unit name (a host string reference of the entry's own)
    void* Obj;     // the TUsesEntry
  };

  // A new index in host layout (class pointer first), as the uses list's
  // constructor makes it; Capacity > 0 allocates that many entries.
  static TUsesListModuleHash* Create(int32_t capacity);
  // The host's way of freeing it (Destroy through its class record).
  static void QM_REGISTER Destroy(void* self, int32_t outermost);

  void Clear();
  void Add(void* usesEntry);
  void Remove(void* usesEntry);
  // The first entry whose key is the same file name as `name`; −1 if none.
  int32_t Find(const wchar_t* name) const;
  // The next entry after `entry` in its chain with the same hash and the same key; −1 if none.
  int32_t FindNext(int32_t entry) const;
  const TEntry& Entry(int32_t index) const { return FEntries[index]; }

  int32_t Count() const { return FCount; }
  int32_t Used() const { return FUsed; }
  int32_t Capacity() const { return FCapacity; }
  int32_t BucketCount() const { return FBucketCount; }
  int32_t FreeList() const { return FFreeList; }

  // The hash of a key as the index computes it.
  static uint32_t KeyHash(const wchar_t* key);

  static TSameFileName SameFileName;
  static void* HostObjectClass;  // TObject, for the class record's root methods
  static void* ClassRef();

private:
  explicit TUsesListModuleHash(int32_t capacity);
  ~TUsesListModuleHash();
  void Grow();
  void Rechain();
  int32_t BucketOf(uint32_t hash) const { return int32_t((hash & 0x7FFFFFFF) % uint32_t(FBucketCount)); }

  void* FClass;  // host layout: the class reference comes first
  TEntry* FEntries = nullptr;
  int32_t* FBuckets = nullptr;
  int32_t FCapacity = 0;
  int32_t FBucketCount = 0;
  int32_t FUsed = 0;
  int32_t FFreeList = -1;
  int32_t FCount = 0;
};

}  // namespace Quillmend
