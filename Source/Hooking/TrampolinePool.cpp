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

uint8_t* TTrampolinePool::Allocate(uint32_t size) {
  if (size > BlockSize) RaiseOutOfMemory();
  if (!FBlock || FUsed + size > BlockSize) {
    FBlock = NewBlock();
    FUsed = 0;
  }
  uint8_t* result = FBlock + FUsed;
  FUsed += size;
  return result;
}

} // namespace Quillmend
