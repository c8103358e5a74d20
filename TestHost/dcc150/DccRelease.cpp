// Around the release of unused memory (DccRelease.S): the compiler's chunks
// (64 KB each, VirtualAlloc) and free blocks, a compile that allocates from
// them and frees everything, the release of one chunk, and what the driver
// reads.
#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "DccReleaseDriver.h"

using namespace DccReleaseDriver;

namespace {

struct TRange {
  TRange* Next;
  int32_t Size;
  uint8_t* Start;
};

int32_t g_committed = 0;
int32_t g_releases = 0;
int32_t g_raiseOn = 0;

TRange* NewRange(int32_t size, uint8_t* start) {
  auto* range = static_cast<TRange*>(HeapAlloc(GetProcessHeap(), 0, sizeof(TRange)));
  *range = TRange{nullptr, size, start};
  return range;
}

void Unlink(TRange** list, TRange* range) {
  for (TRange** link = list; *link; link = &(*link)->Next)
    if (*link == range) {
      *link = range->Next;
      return;
    }
}

}  // namespace

extern "C" {

extern int32_t DccMemReady QM_HOST_SYMBOL(DccMemReady);
extern TRange* DccMemChunks QM_HOST_SYMBOL(DccMemChunks);
extern TRange* DccMemFreeBlocks QM_HOST_SYMBOL(DccMemFreeBlocks);
void QM_HOST_REGISTER DccReleaseUnusedMemory() QM_HOST_SYMBOL(DccReleaseUnusedMemory);

// The chunk lies inside the free block: given back, unlinked, the block cut
// around it. → the chunk after it.
TRange* QM_HOST_REGISTER DccMemReleaseChunk(TRange* chunk, TRange* block) QM_HOST_SYMBOL(DccMemReleaseChunk);
TRange* QM_HOST_REGISTER DccMemReleaseChunk(TRange* chunk, TRange* block) {
  if (g_raiseOn > 0 && --g_raiseOn == 0) {
    ULONG_PTR params[7] = {};
    params[0] = reinterpret_cast<ULONG_PTR>(__builtin_return_address(0));
    RaiseException(0x0EEDFADE, EXCEPTION_NONCONTINUABLE, 7, params);
  }
  TRange* next = chunk->Next;
  uint8_t* const end = chunk->Start + chunk->Size;
  uint8_t* const blockEnd = block->Start + block->Size;
  if (end < blockEnd) {
    TRange* after = NewRange(int32_t(blockEnd - end), end);
    after->Next = block->Next;
    block->Next = after;
  }
  block->Size = int32_t(chunk->Start - block->Start);
  if (block->Size == 0) {
    Unlink(&DccMemFreeBlocks, block);
    HeapFree(GetProcessHeap(), 0, block);
  }
  VirtualFree(chunk->Start, 0, MEM_RELEASE);
  g_committed -= chunk->Size;
  ++g_releases;
  Unlink(&DccMemChunks, chunk);
  HeapFree(GetProcessHeap(), 0, chunk);
  return next;
}

uint32_t __stdcall DccMemCompile(int32_t blocks) {
  DccMemReady = 1;
  uint32_t h = 2166136261u;
  TRange* chunk = nullptr;
  int32_t used = ChunkSize;
  TRange* last = DccMemChunks;
  while (last && last->Next) last = last->Next;
  for (int32_t i = 0; i < blocks; ++i) {
    if (used + 1000 > ChunkSize) {
      auto* memory = static_cast<uint8_t*>(VirtualAlloc(nullptr, ChunkSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
      chunk = NewRange(ChunkSize, memory);
      if (last)
        last->Next = chunk;
      else
        DccMemChunks = chunk;
      last = chunk;
      g_committed += ChunkSize;
      used = 0;
    }
    uint8_t* block = chunk->Start + used;
    for (int32_t b = 0; b < 1000; b += 100) block[b] = uint8_t(i + b);
    for (int32_t b = 0; b < 1000; b += 100) h = (h ^ block[b]) * 16777619u;
    used += 1000;
  }
  // Every block freed: each chunk's memory one free block (the chunks
  // already free stay as they are).
  for (TRange* c = DccMemChunks; c; c = c->Next) {
    bool listed = false;
    for (TRange* f = DccMemFreeBlocks; f; f = f->Next) listed = listed || (f->Start <= c->Start && c->Start < f->Start + f->Size);
    if (listed) continue;
    TRange* block = NewRange(c->Size, c->Start);
    block->Next = DccMemFreeBlocks;
    DccMemFreeBlocks = block;
  }
  return h;
}

int32_t __stdcall DccMemCommitted() { return g_committed; }
int32_t __stdcall DccMemReleases() { return g_releases; }
void __stdcall DccMemRaiseOnRelease(int32_t n) { g_raiseOn = n; }

void __stdcall DccMemReset() {
  while (TRange* chunk = DccMemChunks) {
    DccMemChunks = chunk->Next;
    VirtualFree(chunk->Start, 0, MEM_RELEASE);
    HeapFree(GetProcessHeap(), 0, chunk);
  }
  while (TRange* block = DccMemFreeBlocks) {
    DccMemFreeBlocks = block->Next;
    HeapFree(GetProcessHeap(), 0, block);
  }
  g_committed = 0;
  g_releases = 0;
  g_raiseOn = 0;
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&DccReleaseUnusedMemory), ReleaseFn>, "Release");
static_assert(std::is_same_v<decltype(&DccMemCompile), CompileFn>, "Compile");
static_assert(std::is_same_v<decltype(&DccMemCommitted), CommittedFn>, "Committed");
static_assert(std::is_same_v<decltype(&DccMemReleases), ReleasesFn>, "Releases");
static_assert(std::is_same_v<decltype(&DccMemRaiseOnRelease), RaiseOnReleaseFn>, "RaiseOnRelease");
static_assert(std::is_same_v<decltype(&DccMemReset), ResetFn>, "Reset");
