// The host's memory manager, modelled on the one the IDE's run-time uses:
// small blocks (up to 2 KB) from pools of one size each, carved out of 64 KB
// chunks and kept on free lists; larger blocks from a private heap, grown
// with a quarter of headroom when resized upwards, so that a stream growing
// step by step is not copied again at every step, and the last few freed
// ones kept for reuse. Every block has an 8-byte
// header in front of it: a tag (block kind and state) and its capacity.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "RtlServices.h"

namespace {

constexpr uint32_t TagSmall = 0x51A11CA1;  // a small block in use
constexpr uint32_t TagFree = 0x51A11CF2;   // a small block on its free list
constexpr uint32_t TagLarge = 0x51A11CA3;  // a large block in use
constexpr int32_t SmallLimit = 2048;
constexpr uint32_t ChunkSize = 64 * 1024;
// Size classes: 16-byte steps up to 512, 128-byte steps up to 2048.
constexpr int ClassCount = 32 + 12;

struct THeader {
  uint32_t Tag;
  uint32_t Capacity;
};

int ClassOf(int32_t size) { return size <= 512 ? (size - 1) / 16 : 32 + (size - 513) / 128; }
uint32_t ClassSize(int index) { return index < 32 ? uint32_t(index + 1) * 16 : 512 + uint32_t(index - 31) * 128; }

// Freed large blocks kept for reuse (the heap would give their pages back
// and take them again, page by page).
constexpr int LargeCacheSize = 4;

struct TPools {
  CRITICAL_SECTION Lock;
  void* Free[ClassCount] = {};
  THeader* LargeCache[LargeCacheSize] = {};
  std::vector<uintptr_t> Chunks;  // chunk starts, ascending
  TPools() { InitializeCriticalSectionAndSpinCount(&Lock, 4000); }
};

TPools& Pools() {
  static TPools* pools = new TPools;  // lives as long as the process
  return *pools;
}

THeader* HeaderOf(void* p) { return reinterpret_cast<THeader*>(static_cast<char*>(p) - sizeof(THeader)); }

bool InChunk(const TPools& pools, const void* p) {
  const uintptr_t at = reinterpret_cast<uintptr_t>(p);
  auto next = std::upper_bound(pools.Chunks.begin(), pools.Chunks.end(), at);
  return next != pools.Chunks.begin() && at < *(next - 1) + ChunkSize;
}

[[noreturn]] void OutOfMemory() {
  // The host reports an exhausted heap as a fatal run-time error.
  RaiseException(STATUS_NO_MEMORY, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  __builtin_unreachable();
}

// A new chunk cut into blocks of one class, all on its free list. Under the lock.
void Refill(TPools& pools, int index) {
  auto* chunk = static_cast<char*>(HeapAlloc(QmRtl::Heap(), 0, ChunkSize));
  if (!chunk) OutOfMemory();
  pools.Chunks.insert(std::upper_bound(pools.Chunks.begin(), pools.Chunks.end(), uintptr_t(chunk)), uintptr_t(chunk));
  const uint32_t stride = sizeof(THeader) + ClassSize(index);
  for (uint32_t offset = 0; offset + stride <= ChunkSize; offset += stride) {
    auto* header = reinterpret_cast<THeader*>(chunk + offset);
    header->Tag = TagFree;
    header->Capacity = ClassSize(index);
    void* block = header + 1;
    *static_cast<void**>(block) = pools.Free[index];
    pools.Free[index] = block;
  }
}

void* Allocate(int32_t size) {
  TPools& pools = Pools();
  if (size <= SmallLimit) {
    const int index = ClassOf(size);
    EnterCriticalSection(&pools.Lock);
    if (!pools.Free[index]) Refill(pools, index);
    void* block = pools.Free[index];
    pools.Free[index] = *static_cast<void**>(block);
    HeaderOf(block)->Tag = TagSmall;
    LeaveCriticalSection(&pools.Lock);
    return block;
  }
  // The smallest cached block that holds the size, else a new one.
  EnterCriticalSection(&pools.Lock);
  int fit = -1;
  for (int i = 0; i < LargeCacheSize; ++i)
    if (pools.LargeCache[i] && pools.LargeCache[i]->Capacity >= uint32_t(size) &&
        (fit < 0 || pools.LargeCache[i]->Capacity < pools.LargeCache[fit]->Capacity))
      fit = i;
  THeader* header = fit >= 0 ? pools.LargeCache[fit] : nullptr;
  if (fit >= 0) pools.LargeCache[fit] = nullptr;
  LeaveCriticalSection(&pools.Lock);
  if (!header) {
    header = static_cast<THeader*>(HeapAlloc(QmRtl::Heap(), 0, sizeof(THeader) + size_t(size)));
    if (!header) OutOfMemory();
    header->Capacity = uint32_t(size);
  }
  header->Tag = TagLarge;
  return header + 1;
}

// The capacity of a block of ours, or -1 for a pointer that is none (double
// free, foreign memory).
int64_t CapacityOf(void* p) {
  TPools& pools = Pools();
  THeader* header = HeaderOf(p);
  EnterCriticalSection(&pools.Lock);
  const bool small = InChunk(pools, header);
  LeaveCriticalSection(&pools.Lock);
  if (small) return header->Tag == TagSmall ? int64_t(header->Capacity) : -1;
  // A cached large block is valid heap memory but no longer in use (TagFree).
  if (!HeapValidate(QmRtl::Heap(), 0, header) || header->Tag != TagLarge) return -1;
  return header->Capacity;
}

void Release(void* p) {
  THeader* header = HeaderOf(p);
  TPools& pools = Pools();
  if (header->Tag == TagLarge) {
    header->Tag = TagFree;
    // Kept in the cache in place of its smallest block, which goes back to the heap.
    EnterCriticalSection(&pools.Lock);
    int slot = 0;
    for (int i = 0; i < LargeCacheSize; ++i) {
      if (!pools.LargeCache[i]) {
        slot = i;
        break;
      }
      if (pools.LargeCache[i]->Capacity < pools.LargeCache[slot]->Capacity) slot = i;
    }
    THeader* evicted = pools.LargeCache[slot];
    if (evicted && evicted->Capacity > header->Capacity) {
      evicted = header;
    } else {
      pools.LargeCache[slot] = header;
    }
    LeaveCriticalSection(&pools.Lock);
    if (evicted) HeapFree(QmRtl::Heap(), 0, evicted);
    return;
  }
  const int index = ClassOf(int32_t(header->Capacity));
  EnterCriticalSection(&pools.Lock);
  header->Tag = TagFree;
  *static_cast<void**>(p) = pools.Free[index];
  pools.Free[index] = p;
  LeaveCriticalSection(&pools.Lock);
}

[[noreturn]] void InvalidPointer() { RtlRaiseNew(rtl_EInvalidPointer_Class, L"Invalid pointer operation"); }

} // namespace

HANDLE QmRtl::Heap() {
  static HANDLE heap = HeapCreate(0, 0, 0);
  return heap;
}

extern "C" void* QM_HOST_REGISTER RtlGetMem(int size) {
  if (size <= 0) return nullptr;
  QmRtl::NoteAllocation();
  return Allocate(size);
}

extern "C" int QM_HOST_REGISTER RtlFreeMem(void* p) {
  if (!p) return 0;
  // A pointer that is no block of ours (double free, foreign memory) is the
  // host's "Invalid pointer operation", never silently ignored.
  if (CapacityOf(p) < 0) InvalidPointer();
  Release(p);
  QmRtl::NoteRelease();
  return 0;
}

// ReallocMem(var P: Pointer; NewSize: Integer): EAX = &P, EDX = NewSize.
// P nil: a new block; NewSize <= 0: P freed and nil; otherwise resized: in
// place while it fits the block's size class or capacity, else moved (a
// large block upwards with a quarter of headroom). Returns the new P.
extern "C" void* QM_HOST_REGISTER RtlReallocMem(void** p, int size) {
  if (!*p) {
    *p = RtlGetMem(size);
    return *p;
  }
  if (size <= 0) {
    void* old = *p;
    *p = nullptr;
    RtlFreeMem(old);
    return nullptr;
  }
  const int64_t capacity = CapacityOf(*p);
  if (capacity < 0) InvalidPointer();
  QmRtl::NoteAllocation();
  QmRtl::NoteRelease();  // the block is replaced, not added
  const bool small = HeaderOf(*p)->Tag == TagSmall;
  if (small ? size <= SmallLimit && ClassOf(size) == ClassOf(int32_t(capacity))
            : size <= capacity && size > SmallLimit) {
    return *p;
  }
  const int32_t grown = !small && size > capacity ? size + size / 4 : size;
  void* moved = Allocate(grown);
  std::memcpy(moved, *p, size_t(std::min<int64_t>(capacity, size)));
  Release(*p);
  *p = moved;
  return moved;
}
