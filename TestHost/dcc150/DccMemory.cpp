#include "DccMemory.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace Dcc {

namespace {

// Every block carries its size class in front of it; class 0 marks a large
// block taken from the heap directly.
struct alignas(8) TBlockHeader {
  uint32_t SizeClass;
  uint32_t Pad;
};

constexpr size_t Granularity = 16;
constexpr size_t MaxClass = 512;             // blocks up to 8 KB come from chunks
constexpr size_t ChunkSize = 1024 * 1024;

void* g_free[MaxClass + 1];                  // released blocks per class, linked through their first word
char* g_chunkNext = nullptr;
char* g_chunkEnd = nullptr;

// Zeroes whole 32-bit words (blocks are 16-byte granular): the string store
// the host run-time uses to clear a new object, not a byte-wise loop.
void ZeroWords(void* block, size_t words) {
  asm volatile("cld; rep stosl" : "+D"(block), "+c"(words) : "a"(0) : "memory", "cc");
}

size_t ClassOf(size_t size) { return (size + sizeof(TBlockHeader) + Granularity - 1) / Granularity; }

TBlockHeader* Carve(size_t sizeClass) {
  size_t bytes = sizeClass * Granularity;
  if (size_t(g_chunkEnd - g_chunkNext) < bytes) {
    // The rest of the old chunk is left unused; chunks live as long as the process.
    g_chunkNext = static_cast<char*>(malloc(ChunkSize));
    if (!g_chunkNext) return nullptr;
    g_chunkEnd = g_chunkNext + ChunkSize;
  }
  TBlockHeader* header = reinterpret_cast<TBlockHeader*>(g_chunkNext);
  g_chunkNext += bytes;
  return header;
}

} // namespace

void* DccAlloc(size_t size) {
  size_t sizeClass = ClassOf(size);
  TBlockHeader* header;
  if (sizeClass > MaxClass) {
    header = static_cast<TBlockHeader*>(malloc(sizeof(TBlockHeader) + (size + 3) / 4 * 4));
    sizeClass = 0;
  } else if (void* reused = g_free[sizeClass]) {
    g_free[sizeClass] = *static_cast<void**>(reused);
    header = static_cast<TBlockHeader*>(reused) - 1;
  } else {
    header = Carve(sizeClass);
  }
  if (!header) abort();
  header->SizeClass = uint32_t(sizeClass);
  void* block = header + 1;
  ZeroWords(block, (size + 3) / 4);
  return block;
}

void DccFree(void* block) {
  if (!block) return;
  TBlockHeader* header = static_cast<TBlockHeader*>(block) - 1;
  if (header->SizeClass == 0) {
    free(header);
    return;
  }
  *static_cast<void**>(block) = g_free[header->SizeClass];
  g_free[header->SizeClass] = block;
}

} // namespace Dcc
