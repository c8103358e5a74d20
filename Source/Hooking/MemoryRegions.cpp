#include "Hooking/MemoryRegions.h"

namespace Quillmend {

bool IsReadableProtection(const MEMORY_BASIC_INFORMATION& info) {
  constexpr DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                             PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
  return info.State == MEM_COMMIT && (info.Protect & PAGE_GUARD) == 0 && (info.Protect & readable) != 0;
}

uintptr_t ReadableEnd(const void* p, size_t wanted) {
  const uintptr_t start = reinterpret_cast<uintptr_t>(p);
  // Saturate at the top of the address space instead of wrapping.
  const uintptr_t limit = wanted > UINTPTR_MAX - start ? UINTPTR_MAX : start + wanted;
  uintptr_t address = start;
  while (address < limit) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(reinterpret_cast<void*>(address), &info, sizeof info) != sizeof info) break;
    if (!IsReadableProtection(info)) break;
    const uintptr_t regionEnd = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
    if (regionEnd <= address) break;  // the top region: nothing follows
    address = regionEnd;
  }
  return address < limit ? address : limit;
}

bool IsReadableMemory(const void* p, size_t size) {
  if (p == nullptr) return false;
  if (size == 0) return true;
  return ReadableEnd(p, size) - reinterpret_cast<uintptr_t>(p) == size;
}

} // namespace Quillmend
