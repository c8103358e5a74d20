// The stand-in compiler's memory: zeroed blocks carved from large chunks and
// reused by size class after release, as the host run-time's memory manager
// serves the compiler; one heap call per chunk instead of one per record.
// No lock: the compiler never runs two compilations at once.
#pragma once

#include <cstddef>

namespace Dcc {

// A zeroed block of at least `size` bytes (never null for size 0).
void* DccAlloc(size_t size);
// Releases a block from DccAlloc; null is fine.
void DccFree(void* block);

} // namespace Dcc
