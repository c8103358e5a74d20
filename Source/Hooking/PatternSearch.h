// Finding host code by byte pattern. A pattern is an array of 16-bit entries,
// each a byte value 0..255 or -1 for any byte.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>
#include <windows.h>

namespace Quillmend {

using TBytePattern = std::vector<int16_t>;

// Turns "53 56 ?? 8B" into {0x53, 0x56, -1, 0x8B}. Patterns in the code are
// written this way so they can be compared by eye with their source text.
// Raises EQuillmendError on malformed text.
TBytePattern ParsePattern(std::string_view hexText);

// First match of `pattern` (at least four entries) starting in the executable,
// readable regions of one allocation (module) from `startAddress` on, within
// `maxSize` bytes (0x10000 is taken as 16 MB, 0 or less as no limit); a match
// may run past the limit into readable memory. Null when there is none.
// Reads only.
void* FindMethodPtr(void* startAddress, const TBytePattern& pattern, int32_t maxSize);
void* FindMethodPtr(HMODULE module, const TBytePattern& pattern, int32_t maxSize);

// Many searches from one start at once: one pass over the executable code
// finds, for every request, the match FindMethodPtr(start, pattern, maxSize)
// would find (null when it would find none). Reads only.
struct TPatternRequest {
  TBytePattern Pattern;
  int32_t MaxSize = 0;
  const void* Start = nullptr;  // set by FindPatternsOnce
  void* Result = nullptr;
};
void FindPatternsOnce(void* startAddress, std::vector<TPatternRequest>& requests);

// While set, FindMethodPtr answers a search whose start, pattern and limit
// match a request of the table from the table instead of scanning (the
// check tool searches each module once for all of its plans' patterns).
// The table must live as long as it is set; null: every search scans.
void SetPatternAnswers(const std::vector<TPatternRequest>* answers);

// Told after every FindMethodPtr: the allocation (module) searched, the bytes
// the search went over and the time it took. For benchmarks; null (the
// default) tells nobody and measures nothing.
using TPatternSearchObserver = void (*)(const void* allocationBase, size_t bytesScanned, double seconds);
void SetPatternSearchObserver(TPatternSearchObserver observer);

} // namespace Quillmend
