#include "Hooking/PatternSearch.h"

#include "Hooking/EngineError.h"
#include "Hooking/MemoryRegions.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace Quillmend {

namespace {

constexpr int16_t AnyByte = -1;
constexpr size_t MinPatternEntries = 4;
constexpr DWORD ExecuteRights = 0xF0;  // PAGE_EXECUTE, _READ, _READWRITE, _WRITECOPY
// Patterns are written with 0x10000 as "the whole module"; modules are bigger.
constexpr int32_t ShortModuleSize = 0x10000;
constexpr int32_t WholeModuleSize = 0x1000000;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Bytes that fill typical 32-bit x86 code, most frequent first. Searching for
// the pattern's least frequent byte stops memchr at the fewest candidates.
constexpr uint8_t CommonCodeBytes[] = {
    0x00, 0xFF, 0x8B, 0x89, 0x24, 0x45, 0x04, 0xE8, 0x83, 0x08, 0x55, 0x0C, 0x85, 0x8D, 0x10, 0xC0,
    0x01, 0x50, 0x74, 0x75, 0x0F, 0xC3, 0xEC, 0x5D, 0x53, 0x56, 0x57, 0x5E, 0x5B, 0x90, 0xCC, 0x6A,
    0x68, 0x33, 0xC4, 0x14, 0x18, 0x02, 0x03, 0x7D, 0x40, 0xE9, 0xEB, 0x84, 0xC7, 0x46, 0xF8, 0xFC};

size_t Commonness(uint8_t value) {
  const auto* end = std::end(CommonCodeBytes);
  const auto* found = std::find(std::begin(CommonCodeBytes), end, value);
  return found == end ? 0 : static_cast<size_t>(end - found);
}

// A pattern prepared for scanning: leading wildcards removed, one fixed byte
// chosen as the anchor that memchr looks for, the other fixed bytes listed.
struct TPreparedPattern {
  size_t Skipped = 0;  // leading wildcards
  size_t Length = 0;   // entries after them
  size_t AnchorIndex = 0;
  uint8_t AnchorByte = 0;
  std::vector<std::pair<size_t, uint8_t>> Others;

  bool Prepare(const TBytePattern& pattern) {
    while (Skipped < pattern.size() && pattern[Skipped] == AnyByte) ++Skipped;
    if (Skipped == pattern.size()) return false;
    Length = pattern.size() - Skipped;
    size_t bestCommonness = SIZE_MAX;
    for (size_t i = 0; i < Length; ++i) {
      const int16_t entry = pattern[Skipped + i];
      if (entry == AnyByte) continue;
      const size_t commonness = Commonness(static_cast<uint8_t>(entry));
      if (commonness < bestCommonness) {
        bestCommonness = commonness;
        AnchorIndex = i;
      }
    }
    AnchorByte = static_cast<uint8_t>(pattern[Skipped + AnchorIndex]);
    for (size_t i = 0; i < Length; ++i) {
      const int16_t entry = pattern[Skipped + i];
      if (entry != AnyByte && i != AnchorIndex) Others.emplace_back(i, static_cast<uint8_t>(entry));
    }
    return true;
  }

  bool MatchesAt(const uint8_t* p) const {
    for (const auto& [offset, value] : Others)
      if (p[offset] != value) return false;
    return true;
  }

  // First match starting in [from, to). A match may run past `to` into
  // whatever memory follows, as long as that memory is readable.
  const uint8_t* Search(const uint8_t* from, const uint8_t* to) const {
    const uintptr_t dataEnd = ReadableEnd(to, Length - 1);
    const uintptr_t lastFittingStart = dataEnd - (Length - 1);
    const uint8_t* startsEnd = to;
    if (lastFittingStart < reinterpret_cast<uintptr_t>(to)) startsEnd = reinterpret_cast<const uint8_t*>(lastFittingStart);
    if (startsEnd <= from) return nullptr;
    const uint8_t* scan = from + AnchorIndex;
    const uint8_t* scanEnd = startsEnd + AnchorIndex;
    while (scan < scanEnd) {
      const auto* hit = static_cast<const uint8_t*>(std::memchr(scan, AnchorByte, scanEnd - scan));
      if (hit == nullptr) return nullptr;
      const uint8_t* candidate = hit - AnchorIndex;
      if (MatchesAt(candidate)) return candidate;
      scan = hit + 1;
    }
    return nullptr;
  }
};

TPatternSearchObserver g_observer = nullptr;
const std::vector<TPatternRequest>* g_answers = nullptr;

uintptr_t LimitEnd(uintptr_t start, int32_t maxSize) {
  if (maxSize == ShortModuleSize) maxSize = WholeModuleSize;
  if (maxSize <= 0) return UINTPTR_MAX;
  return static_cast<uintptr_t>(maxSize) > UINTPTR_MAX - start ? UINTPTR_MAX : start + maxSize;
}

// The table's answer for this search, if it has one.
bool Answered(const void* start, const TBytePattern& pattern, int32_t maxSize, void*& result) {
  if (!g_answers || g_answers->empty()) return false;
  for (const TPatternRequest& request : *g_answers)
    if (request.Start == start && request.MaxSize == maxSize && request.Pattern == pattern) {
      result = request.Result;
      return true;
    }
  return false;
}

// Tells the observer, if any, what one search covered.
class TSearchReport {
public:
  TSearchReport() {
    if (g_observer) QueryPerformanceCounter(&FStart);
  }
  ~TSearchReport() {
    if (!g_observer) return;
    LARGE_INTEGER end, frequency;
    QueryPerformanceCounter(&end);
    QueryPerformanceFrequency(&frequency);
    g_observer(Base, Scanned, double(end.QuadPart - FStart.QuadPart) / double(frequency.QuadPart));
  }
  TSearchReport(const TSearchReport&) = delete;
  TSearchReport& operator=(const TSearchReport&) = delete;
  const void* Base = nullptr;
  size_t Scanned = 0;

private:
  LARGE_INTEGER FStart = {};
};

bool QueryRegion(uintptr_t address, MEMORY_BASIC_INFORMATION& info) {
  return VirtualQuery(reinterpret_cast<void*>(address), &info, sizeof info) == sizeof info;
}

uintptr_t RegionEnd(const MEMORY_BASIC_INFORMATION& info) {
  return reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
}

}  // namespace

TBytePattern ParsePattern(std::string_view hexText) {
  TBytePattern pattern;
  size_t i = 0;
  auto fail = [&]() {
    RaiseError("Invalid byte pattern \"%s\" at position %u", std::string(hexText).c_str(),
               static_cast<unsigned>(i + 1));
  };
  auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (true) {
    while (i < hexText.size() && isSpace(hexText[i])) ++i;
    if (i == hexText.size()) break;
    if (i + 1 >= hexText.size() || (i + 2 < hexText.size() && !isSpace(hexText[i + 2]))) fail();
    const char high = hexText[i], low = hexText[i + 1];
    if (high == '?' && low == '?') {
      pattern.push_back(AnyByte);
    } else {
      if (HexDigit(high) < 0) fail();
      if (HexDigit(low) < 0) { ++i; fail(); }
      pattern.push_back(static_cast<int16_t>(HexDigit(high) * 16 + HexDigit(low)));
    }
    i += 2;
  }
  if (pattern.empty()) fail();
  return pattern;
}

void* FindMethodPtr(void* startAddress, const TBytePattern& pattern, int32_t maxSize) {
  if (void* answer = nullptr; Answered(startAddress, pattern, maxSize, answer)) return answer;
  if (startAddress == nullptr || pattern.size() < MinPatternEntries) return nullptr;
  TPreparedPattern prepared;
  if (!prepared.Prepare(pattern)) return nullptr;

  const auto start = reinterpret_cast<uintptr_t>(startAddress);
  const uintptr_t limitEnd = LimitEnd(start, maxSize);

  MEMORY_BASIC_INFORMATION info;
  if (!QueryRegion(start, info)) return nullptr;
  // The walk stays inside one module or allocation.
  void* const allocationBase = info.AllocationBase;
  TSearchReport report;
  report.Base = allocationBase;
  uintptr_t address = start;
  while (true) {
    const uintptr_t regionEnd = RegionEnd(info);
    if ((info.Protect & ExecuteRights) != 0 && IsReadableProtection(info)) {
      const uintptr_t stretchEnd = std::min(regionEnd, limitEnd);
      if (const uint8_t* hit = prepared.Search(reinterpret_cast<const uint8_t*>(address),
                                               reinterpret_cast<const uint8_t*>(stretchEnd))) {
        report.Scanned += size_t(hit + prepared.Length - reinterpret_cast<const uint8_t*>(address));
        return const_cast<uint8_t*>(hit - prepared.Skipped);
      }
      if (stretchEnd > address) report.Scanned += stretchEnd - address;
    }
    if (regionEnd <= address) return nullptr;  // wrapped at the top of the address space
    address = regionEnd;
    if (address >= limitEnd) return nullptr;
    if (!QueryRegion(address, info) || info.AllocationBase != allocationBase) return nullptr;
  }
}

void* FindMethodPtr(HMODULE module, const TBytePattern& pattern, int32_t maxSize) {
  return FindMethodPtr(static_cast<void*>(module), pattern, maxSize);
}

void FindPatternsOnce(void* startAddress, std::vector<TPatternRequest>& requests) {
  // Every request prepared as FindMethodPtr prepares it; the ones that can
  // match are listed under their anchor byte.
  struct TPending {
    TPreparedPattern Prepared;
    uintptr_t LimitEnd;
    TPatternRequest* Request;
    bool Found = false;
  };
  std::vector<TPending> pending;
  for (TPatternRequest& request : requests) {
    request.Start = startAddress;
    request.Result = nullptr;
    TPending p{{}, LimitEnd(reinterpret_cast<uintptr_t>(startAddress), request.MaxSize), &request};
    if (startAddress && request.Pattern.size() >= MinPatternEntries && p.Prepared.Prepare(request.Pattern))
      pending.push_back(std::move(p));
  }
  if (pending.empty()) return;
  std::vector<size_t> byAnchor[256];
  uintptr_t walkEnd = 0;
  size_t longest = 0, furthestAnchor = 0;
  for (size_t i = 0; i < pending.size(); ++i) {
    byAnchor[pending[i].Prepared.AnchorByte].push_back(i);
    walkEnd = std::max(walkEnd, pending[i].LimitEnd);
    longest = std::max(longest, pending[i].Prepared.Length);
    furthestAnchor = std::max(furthestAnchor, pending[i].Prepared.AnchorIndex);
  }
  size_t left = pending.size();
  std::vector<uintptr_t> startsEnd(pending.size());

  const auto start = reinterpret_cast<uintptr_t>(startAddress);
  MEMORY_BASIC_INFORMATION info;
  if (!QueryRegion(start, info)) return;
  void* const allocationBase = info.AllocationBase;
  TSearchReport report;
  report.Base = allocationBase;
  uintptr_t address = start;
  while (left > 0) {
    const uintptr_t regionEnd = RegionEnd(info);
    if ((info.Protect & ExecuteRights) != 0 && IsReadableProtection(info)) {
      // Where each pattern's matches may start in this stretch, as
      // TPreparedPattern::Search bounds them; anchors may lie past its end.
      const uintptr_t dataEnd = ReadableEnd(reinterpret_cast<const void*>(regionEnd), longest - 1);
      uintptr_t scanEnd = address;
      for (size_t i = 0; i < pending.size(); ++i) {
        const TPreparedPattern& prepared = pending[i].Prepared;
        const uintptr_t stretchEnd = std::min(regionEnd, pending[i].LimitEnd);
        const uintptr_t ownDataEnd = std::min<uintptr_t>(dataEnd, stretchEnd + prepared.Length - 1);
        startsEnd[i] = std::min(stretchEnd, ownDataEnd - (prepared.Length - 1));
        if (!pending[i].Found && startsEnd[i] > address) scanEnd = std::max(scanEnd, startsEnd[i] + prepared.AnchorIndex);
      }
      for (uintptr_t at = address; at < scanEnd && left > 0; ++at) {
        const std::vector<size_t>& candidates = byAnchor[*reinterpret_cast<const uint8_t*>(at)];
        for (size_t i : candidates) {
          TPending& p = pending[i];
          if (p.Found || at < address + p.Prepared.AnchorIndex) continue;
          const uintptr_t candidate = at - p.Prepared.AnchorIndex;
          if (candidate >= startsEnd[i] || !p.Prepared.MatchesAt(reinterpret_cast<const uint8_t*>(candidate))) continue;
          p.Found = true;
          p.Request->Result = reinterpret_cast<void*>(candidate - p.Prepared.Skipped);
          --left;
        }
      }
      if (scanEnd > address) report.Scanned += scanEnd - address;
    }
    if (regionEnd <= address) break;  // wrapped at the top of the address space
    address = regionEnd;
    if (address >= walkEnd) break;
    if (!QueryRegion(address, info) || info.AllocationBase != allocationBase) break;
  }
}

void SetPatternAnswers(const std::vector<TPatternRequest>* answers) { g_answers = answers; }

void SetPatternSearchObserver(TPatternSearchObserver observer) { g_observer = observer; }

} // namespace Quillmend
