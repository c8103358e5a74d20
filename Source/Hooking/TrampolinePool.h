// Executable memory for original-call trampolines: 4096-byte blocks carved
// one trampoline after another. Blocks are never freed; a trampoline that is
// released (its routine's module went away) is handed out again to the next
// request of the same size.
#pragma once

#include <cstdint>

namespace Quillmend {

class TTrampolinePool {
public:
  static constexpr uint32_t BlockSize = 4096;

  // Commits one block of BlockSize bytes with read, write and execute access,
  // at `hint` if that is free (null: anywhere); null when it cannot.
  using TBlockAllocator = void* (*)(void* hint);
  static void* AllocateBlock(void* hint);

  constexpr explicit TTrampolinePool(TBlockAllocator allocator = &AllocateBlock) : FAllocator(allocator) {}

  // Room for `size` bytes in the current block, or in a new one when the
  // current block cannot hold them (its rest is abandoned). Raises the
  // out-of-memory error when no block can be had.
  // A released trampoline of exactly `size` bytes is reused first.
  uint8_t* Allocate(uint32_t size);
  // Gives `size` bytes from Allocate back; they must no longer be executed.
  void Release(uint8_t* trampoline, uint32_t size);

private:
  uint8_t* NewBlock();

  TBlockAllocator FAllocator;
  uint8_t* FBlock = nullptr;
  uint32_t FUsed = 0;
  uint8_t* FReleased = nullptr;  // released trampolines: {next, size} in their first 8 bytes
};

// The engine's pool, shared by every trampoline of the process.
TTrampolinePool& TrampolinePool();

} // namespace Quillmend
