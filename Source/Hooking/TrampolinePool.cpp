#include "Hooking/TrampolinePool.h"

#include "Hooking/EngineError.h"

#include <windows.h>

namespace Quillmend {

namespace {

// Constant-initialized: patch modules create trampolines from their static
// initializers, in whatever order the linker put them.
TTrampolinePool gPool;

} // namespace

TTrampolinePool& TrampolinePool() { return gPool; }

void* TTrampolinePool::AllocateBlock(void* hint) {
  return VirtualAlloc(hint, BlockSize, MEM_COMMIT, PAGE_EXECUTE_READWRITE);
}

uint8_t* TTrampolinePool::NewBlock() {
  // Ask for the address right after the current block first, so trampolines
  // stay together, then for any address.
  uint8_t* block = nullptr;
  if (FBlock) {
    block = static_cast<uint8_t*>(FAllocator(FBlock + BlockSize));
    // The system may round a request down onto the block we already carve
    // from; committing it again would hand out its trampolines a second time.
    if (block && block < FBlock + BlockSize && block + BlockSize > FBlock) block = nullptr;
  } else {
    block = static_cast<uint8_t*>(FAllocator(nullptr));
  }
  if (!block) block = static_cast<uint8_t*>(FAllocator(nullptr));
  if (!block) RaiseOutOfMemory();
  return block;
}

namespace {

// A released trampoline's first 8 bytes: the next released one and its size.
struct TReleased {
  uint8_t* Next;
  uint32_t Size;
};

} // namespace

uint8_t* TTrampolinePool::Allocate(uint32_t size) {
  if (size > BlockSize) RaiseOutOfMemory();
  for (uint8_t** link = &FReleased; *link; link = &reinterpret_cast<TReleased*>(*link)->Next) {
    auto* entry = reinterpret_cast<TReleased*>(*link);
    if (entry->Size != size) continue;
    uint8_t* result = *link;
    *link = entry->Next;
    return result;
  }
  if (!FBlock || FUsed + size > BlockSize) {
    FBlock = NewBlock();
    FUsed = 0;
  }
  uint8_t* result = FBlock + FUsed;
  FUsed += size;
  return result;
}

void TTrampolinePool::Release(uint8_t* trampoline, uint32_t size) {
  if (!trampoline || size < sizeof(TReleased)) return;
  auto* entry = reinterpret_cast<TReleased*>(trampoline);
  entry->Next = FReleased;
  entry->Size = size;
  FReleased = trampoline;
}

} // namespace Quillmend
