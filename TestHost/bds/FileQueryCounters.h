// bds.exe's own count of the process's file queries: GetFileAttributes*,
// FindFirstFile*, CreateFile* not for writing (FindNextFileW counted apart),
// by hooks over kernel32's hot-patchable entries (a jump in the five bytes
// before the entry, the entry's 2-byte no-op turned into a short jump back;
// the original runs from past the no-op). Installed once, left in place.
#pragma once

#include <cstdint>

namespace QmHost {

struct FileQueryCounts {
  uint32_t Queries;
  uint32_t FindNext;
};

// Installs the hooks (once); false when an entry is not hot-patchable.
bool StartCountingFileQueries();
FileQueryCounts FileQueries();

} // namespace QmHost
