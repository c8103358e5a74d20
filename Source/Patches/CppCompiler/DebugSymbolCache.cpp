#include "Patches/CppCompiler/DebugSymbolCache.h"

#include <algorithm>
#include <cstring>

#include "Hooking/StringHash.h"

namespace Quillmend {

namespace {

constexpr int32_t MinimumCapacity = 16;

size_t OddBucketCount(size_t capacity) { return capacity % 2 == 0 ? capacity + 1 : capacity; }

}  // namespace

TDebugSymbolCache::TDebugSymbolCache(int32_t capacity) {
  capacity = std::max(capacity, MinimumCapacity);
  FItems.resize(size_t(capacity));
  FBuckets.assign(OddBucketCount(size_t(capacity)), -1);
}

TDebugSymbolCache::~TDebugSymbolCache() { Clear(); }

uint32_t TDebugSymbolCache::Hash(const void* context, uint32_t flag, const char* name) {
  return flag + Utf8HashText(name) + uint32_t(reinterpret_cast<uintptr_t>(context));
}

int32_t TDebugSymbolCache::IndexOf(uint32_t hash, const void* context, uint32_t flag, const char* name,
                                    uint32_t nameLength) const {
  for (int32_t i = BucketOf(hash); i >= 0; i = FItems[size_t(i)].Next) {
    const TItem& item = FItems[size_t(i)];
    if (item.Hash == hash && item.Context == context && item.Flag == flag && item.NameLength == nameLength &&
        std::memcmp(item.Name, name, nameLength) == 0)
      return i;
  }
  return -1;
}

bool TDebugSymbolCache::Find(const void* context, uint32_t flag, const char* name, uint32_t nameLength,
                             int32_t& result) const {
  if (FCount == 0) return false;
  int32_t i = IndexOf(Hash(context, flag, name), context, flag, name, nameLength);
  if (i < 0) return false;
  result = FItems[size_t(i)].Result;
  return true;
}

void TDebugSymbolCache::Insert(const void* context, uint32_t flag, const char* name, uint32_t nameLength,
                               int32_t result) {
  const uint32_t hash = Hash(context, flag, name);
  int32_t existing = IndexOf(hash, context, flag, name, nameLength);
  if (existing >= 0) {
    FItems[size_t(existing)].Result = result;
    return;
  }
  if (FCount == Capacity()) Grow();
  char* copy = new char[nameLength + 1];
  std::memcpy(copy, name, nameLength);
  copy[nameLength] = 0;
  TItem& item = FItems[size_t(FCount)];
  item = {BucketOf(hash), hash, context, flag, nameLength, copy, result};
  BucketOf(hash) = FCount++;
  if (FContexts.empty() || FContexts.back() != context) {
    if (std::find(FContexts.begin(), FContexts.end(), context) == FContexts.end()) FContexts.push_back(context);
  }
}

bool TDebugSymbolCache::RefersTo(const void* context) const {
  return std::find(FContexts.begin(), FContexts.end(), context) != FContexts.end();
}

void TDebugSymbolCache::Clear() {
  for (int32_t i = 0; i < FCount; ++i) {
    delete[] FItems[size_t(i)].Name;
    FItems[size_t(i)].Name = nullptr;
  }
  FCount = 0;
  std::fill(FBuckets.begin(), FBuckets.end(), -1);
  FContexts.clear();
}

void TDebugSymbolCache::Grow() {
  const size_t capacity = std::max<size_t>(FItems.size() * 2, MinimumCapacity);
  FItems.resize(capacity);
  FBuckets.assign(OddBucketCount(capacity), -1);
  for (int32_t i = 0; i < FCount; ++i) {
    TItem& item = FItems[size_t(i)];
    item.Next = BucketOf(item.Hash);
    BucketOf(item.Hash) = i;
  }
}

}  // namespace Quillmend
