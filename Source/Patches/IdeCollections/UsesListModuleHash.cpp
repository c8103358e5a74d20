#include "Patches/IdeCollections/UsesListModuleHash.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <windows.h>

#include "Framework/HostObjectModel.h"
#include "Hooking/StringHash.h"

namespace Quillmend {

TSameFileName TUsesListModuleHash::SameFileName = nullptr;
void* TUsesListModuleHash::HostObjectClass = nullptr;

namespace {

using TUStrAsg = void(QM_REGISTER*)(wchar_t** dest, const wchar_t* source);
using TUStrClr = void(QM_REGISTER*)(wchar_t** variable);

// The run-time's string assignment and release: keys are host strings the
// index holds references to.
struct THostStringRefs {
  TUStrAsg Assign = nullptr;
  TUStrClr Clear = nullptr;
};
const THostStringRefs& Strings() {
  static THostStringRefs refs = [] {
    THostStringRefs r;
    if (HMODULE rtl = GetModuleHandleW(L"rtl150.bpl")) {
      r.Assign = reinterpret_cast<TUStrAsg>(reinterpret_cast<void*>(
          GetProcAddress(rtl, "@System@@UStrAsg$qqrr20System@UnicodeStringx20System@UnicodeString")));
      r.Clear = reinterpret_cast<TUStrClr>(reinterpret_cast<void*>(GetProcAddress(rtl, "@System@@UStrClr$qqrpv")));
    }
    return r;
  }();
  return refs;
}

const wchar_t* UnitNameOf(void* usesEntry) {
  return *reinterpret_cast<const wchar_t* const*>(static_cast<char*>(usesEntry) + 0x40);
}

int32_t OddBuckets(int32_t capacity) { return capacity % 2 == 0 ? capacity + 1 : capacity; }

}  // namespace

uint32_t TUsesListModuleHash::KeyHash(const wchar_t* key) {
  int32_t length = HostStringLength(key);
  if (length == 0) return 0;
  wchar_t small[128];
  wchar_t* folded = length < 128 ? small : static_cast<wchar_t*>(std::malloc((size_t(length) + 1) * sizeof(wchar_t)));
  if (!folded) throw std::bad_alloc();
  std::memcpy(folded, key, size_t(length) * sizeof(wchar_t));
  folded[length] = 0;
  // Upper case first, then lower: names equal under either folding (the
  // host's comparison lower-cases; an ordinal comparison ignoring case
  // upper-cases) fold alike, final and medial sigma included.
  CharUpperBuffW(folded, DWORD(length));
  CharLowerBuffW(folded, DWORD(length));
  uint32_t hash = UnicodeHashTextI(folded);
  if (folded != small) std::free(folded);
  return hash;
}

void* TUsesListModuleHash::ClassRef() {
  static THostClassRecord* record =
      new THostClassRecord("TUsesListModuleHash", HostObjectClass, int32_t(sizeof(TUsesListModuleHash)), &Destroy);
  return record->ClassRef();
}

TUsesListModuleHash* TUsesListModuleHash::Create(int32_t capacity) {
  return new TUsesListModuleHash(capacity);
}

TUsesListModuleHash::TUsesListModuleHash(int32_t capacity) : FClass(ClassRef()) {
  if (capacity <= 0) return;
  FEntries = static_cast<TEntry*>(std::calloc(size_t(capacity), sizeof(TEntry)));
  FCapacity = capacity;
  FBucketCount = OddBuckets(capacity);
  FBuckets = static_cast<int32_t*>(std::malloc(size_t(FBucketCount) * sizeof(int32_t)));
  if (!FEntries || !FBuckets) throw std::bad_alloc();
  std::memset(FBuckets, 0xFF, size_t(FBucketCount) * sizeof(int32_t));
}

TUsesListModuleHash::~TUsesListModuleHash() { Clear(); }

void QM_REGISTER TUsesListModuleHash::Destroy(void* self, int32_t) {
  delete static_cast<TUsesListModuleHash*>(self);
}

void TUsesListModuleHash::Clear() {
  for (int32_t i = 0; i < FUsed; ++i)
    if (FEntries[i].Key) Strings().Clear(&FEntries[i].Key);
  std::free(FEntries);
  std::free(FBuckets);
  FEntries = nullptr;
  FBuckets = nullptr;
  FCapacity = FBucketCount = FUsed = FCount = 0;
  FFreeList = -1;
}

void TUsesListModuleHash::Rechain() {
  std::memset(FBuckets, 0xFF, size_t(FBucketCount) * sizeof(int32_t));
  for (int32_t i = 0; i < FUsed; ++i) {
    if (!FEntries[i].Obj) continue;  // a free slot chains through the free list
    int32_t b = BucketOf(FEntries[i].Hash);
    FEntries[i].Next = FBuckets[b];
    FBuckets[b] = i;
  }
}

void TUsesListModuleHash::Grow() {
  int32_t capacity = FCapacity > 128 ? FCapacity + FCapacity / 4 : FCapacity > 16 ? FCapacity + 32 : FCapacity + 16;
  auto* entries = static_cast<TEntry*>(std::realloc(FEntries, size_t(capacity) * sizeof(TEntry)));
  if (!entries) throw std::bad_alloc();
  std::memset(entries + FCapacity, 0, size_t(capacity - FCapacity) * sizeof(TEntry));
  FEntries = entries;
  int32_t bucketCount = OddBuckets(capacity);
  auto* buckets = static_cast<int32_t*>(std::realloc(FBuckets, size_t(bucketCount) * sizeof(int32_t)));
  if (!buckets) throw std::bad_alloc();
  FBuckets = buckets;
  FCapacity = capacity;
  FBucketCount = bucketCount;
  Rechain();
}

void TUsesListModuleHash::Add(void* usesEntry) {
  const wchar_t* name = UnitNameOf(usesEntry);
  uint32_t hash = KeyHash(name);
  int32_t slot;
  if (FFreeList != -1) {
    slot = FFreeList;
    FFreeList = FEntries[slot].Next;
  } else {
    if (FUsed == FCapacity) Grow();
    slot = FUsed++;
  }
  int32_t b = BucketOf(hash);
  TEntry& e = FEntries[slot];
  e.Next = FBuckets[b];
  e.Hash = hash;
  e.Key = nullptr;
  Strings().Assign(&e.Key, name);
  e.Obj = usesEntry;
  FBuckets[b] = slot;
  ++FCount;
}

void TUsesListModuleHash::Remove(void* usesEntry) {
  if (FCount == 0) return;
  int32_t slot = FUsed - 1;
  while (slot >= 0 && FEntries[slot].Obj != usesEntry) --slot;
  if (slot < 0) return;
  int32_t* link = &FBuckets[BucketOf(FEntries[slot].Hash)];
  while (*link != -1 && *link != slot) link = &FEntries[*link].Next;
  if (*link != slot) return;
  *link = FEntries[slot].Next;
  TEntry& e = FEntries[slot];
  Strings().Clear(&e.Key);
  e.Obj = nullptr;
  e.Next = FFreeList;
  FFreeList = slot;
  --FCount;
}

int32_t TUsesListModuleHash::Find(const wchar_t* name) const {
  if (FCount == 0) return -1;
  uint32_t hash = KeyHash(name);
  for (int32_t i = FBuckets[BucketOf(hash)]; i != -1; i = FEntries[i].Next)
    if (FEntries[i].Hash == hash && SameFileName(FEntries[i].Key, name)) return i;
  return -1;
}

int32_t TUsesListModuleHash::FindNext(int32_t entry) const {
  const TEntry& from = FEntries[entry];
  for (int32_t i = from.Next; i != -1; i = FEntries[i].Next)
    if (FEntries[i].Hash == from.Hash && SameFileName(FEntries[i].Key, from.Key)) return i;
  return -1;
}

}  // namespace Quillmend
