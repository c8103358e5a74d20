// TDebugSymbolCache: answers of the C++ compiler's debug-symbol lookup,
// keyed by (context, flag, name). Items live in one array chained through
// indices from an odd number of buckets; a full cache doubles and rehashes.
// Names are kept in full, at any length. No lock: the compiler's thread only.
#pragma once

#include <cstdint>
#include <vector>

namespace Quillmend {

class TDebugSymbolCache {
public:
  static constexpr int32_t InitialCapacity = 10000;

  explicit TDebugSymbolCache(int32_t capacity = InitialCapacity);
  ~TDebugSymbolCache();
  TDebugSymbolCache(const TDebugSymbolCache&) = delete;
  TDebugSymbolCache& operator=(const TDebugSymbolCache&) = delete;

  // Bucket key: flag + Utf8HashText(name) + context.
  static uint32_t Hash(const void* context, uint32_t flag, const char* name);

  // The cached answer, or false.
  bool Find(const void* context, uint32_t flag, const char* name, uint32_t nameLength, int32_t& result) const;
  // Stores (or replaces) the answer; 0 is an answer too.
  void Insert(const void* context, uint32_t flag, const char* name, uint32_t nameLength, int32_t result);
  // Whether any item was answered in that context.
  bool RefersTo(const void* context) const;
  // Frees every item's name; the capacity stays, every bucket is empty.
  void Clear();

  int32_t Count() const { return FCount; }
  int32_t Capacity() const { return int32_t(FItems.size()); }
  int32_t BucketCount() const { return int32_t(FBuckets.size()); }

private:
  struct TItem {
    int32_t Next;
    uint32_t Hash;
    const void* Context;
    uint32_t Flag;
    uint32_t NameLength;
    char* Name;  // own copy, zero-terminated
    int32_t Result;
  };
  int32_t IndexOf(uint32_t hash, const void* context, uint32_t flag, const char* name, uint32_t nameLength) const;
  int32_t& BucketOf(uint32_t hash) { return FBuckets[(hash & 0x7FFFFFFF) % FBuckets.size()]; }
  const int32_t& BucketOf(uint32_t hash) const { return FBuckets[(hash & 0x7FFFFFFF) % FBuckets.size()]; }
  void Grow();

  std::vector<TItem> FItems;      // the first FCount are in use
  std::vector<int32_t> FBuckets;  // item indexes, -1 empty
  int32_t FCount = 0;
  std::vector<const void*> FContexts;  // every context an item refers to
};

}  // namespace Quillmend
