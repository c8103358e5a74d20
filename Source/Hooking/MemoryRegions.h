// Questions about the current process's address space answered with
// VirtualQuery, so that the engine can bound its reads instead of touching
// memory that would fault (IsBadReadPtr is not an option: it trips guard pages).
#pragma once

#include <cstddef>
#include <cstdint>
#include <windows.h>

namespace Quillmend {

// Committed and readable without a fault: no PAGE_NOACCESS, no PAGE_GUARD,
// not execute-only.
bool IsReadableProtection(const MEMORY_BASIC_INFORMATION& info);

// True when all `size` bytes from `p` can be read.
bool IsReadableMemory(const void* p, size_t size);

// End of the readable memory that starts at `p`, looking no further than
// `p + wanted` (the result never exceeds it). `p` itself when p is unreadable.
uintptr_t ReadableEnd(const void* p, size_t wanted);

} // namespace Quillmend
