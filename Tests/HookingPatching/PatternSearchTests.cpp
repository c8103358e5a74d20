// Pattern search over real memory: allocations whose pages carry different
// protections, limits, wildcards and reads that would run off an allocation.
#include "Fixtures.h"

#include "Hooking/EngineError.h"
#include "Hooking/PatternSearch.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace Quillmend;

namespace {

constexpr size_t Page = 4096;

// One reservation; pages are committed with the given protections, filled
// with 0x90 and written through a read-write view first.
class TAllocation {
public:
  explicit TAllocation(size_t reservedPages, void* at = nullptr) {
    Base = static_cast<uint8_t*>(VirtualAlloc(at, reservedPages * Page, MEM_RESERVE, PAGE_NOACCESS));
  }
  ~TAllocation() {
    if (Base) VirtualFree(Base, 0, MEM_RELEASE);
  }
  void Commit(size_t page, size_t count, DWORD protect) {
    ASSERT_NE(VirtualAlloc(Base + page * Page, count * Page, MEM_COMMIT, PAGE_READWRITE), nullptr);
    std::memset(Base + page * Page, 0x90, count * Page);
    Protections.push_back({page, count, protect});
  }
  void Put(size_t offset, const TBytePattern& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) Base[offset + i] = static_cast<uint8_t>(bytes[i]);
  }
  // Applies the protections once all bytes are in place.
  void Protect() {
    for (const auto& p : Protections) {
      DWORD old;
      ASSERT_TRUE(VirtualProtect(Base + p.Page * Page, p.Count * Page, p.Protect, &old));
    }
  }
  uint8_t* Base;

private:
  struct TProtection {
    size_t Page, Count;
    DWORD Protect;
  };
  std::vector<TProtection> Protections;
};

const TBytePattern Signature = ParsePattern("53 56 57 8B 45 08");

}  // namespace

TEST(ParsePattern, HexBytesAndWildcards) {
  EXPECT_EQ(ParsePattern("53 56 ?? 8B"), (TBytePattern{0x53, 0x56, -1, 0x8B}));
  EXPECT_EQ(ParsePattern("  ff\te8 ??\r\n00 "), (TBytePattern{0xFF, 0xE8, -1, 0x00}));
}

TEST(ParsePattern, MalformedTextRaises) {
  for (const char* bad : {"", "   ", "5", "53 5", "533", "G1", "?", "?5", "5?", "53,56", "53  56 0x8B", "53 ??? 8B"})
    EXPECT_THROW(ParsePattern(bad), EQuillmendError) << '"' << bad << '"';
}

TEST(FindMethodPtr, OnlyExecutableRegionsOfTheAllocationAreSearched) {
  TAllocation a(4);
  a.Commit(0, 1, PAGE_READWRITE);
  a.Commit(1, 1, PAGE_READONLY);
  a.Commit(2, 1, PAGE_EXECUTE_READ);
  a.Commit(3, 1, PAGE_EXECUTE_READWRITE);
  a.Put(0x10, Signature);
  a.Put(Page + 0x20, Signature);
  a.Put(3 * Page + 0x40, Signature);
  a.Protect();
  EXPECT_EQ(FindMethodPtr(a.Base, Signature, 0), a.Base + 3 * Page + 0x40);

  DWORD old;  // the executable page needs write access for a moment
  VirtualProtect(a.Base + 2 * Page, Page, PAGE_EXECUTE_READWRITE, &old);
  a.Put(2 * Page + 0x30, Signature);
  VirtualProtect(a.Base + 2 * Page, Page, PAGE_EXECUTE_READ, &old);
  EXPECT_EQ(FindMethodPtr(a.Base, Signature, 0), a.Base + 2 * Page + 0x30);
  // A start inside a region searches from there on.
  EXPECT_EQ(FindMethodPtr(a.Base + 2 * Page + 0x31, Signature, 0), a.Base + 3 * Page + 0x40);
}

TEST(FindMethodPtr, CopyOnWriteExecutableMappingIsSearched) {
  // Loaded images' code is often mapped copy-on-write: a copy view of an
  // executable section reports PAGE_EXECUTE_WRITECOPY.
  HANDLE section = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_EXECUTE_READWRITE, 0, 2 * Page, nullptr);
  ASSERT_NE(section, nullptr);
  auto* writer = static_cast<uint8_t*>(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_NE(writer, nullptr);
  std::memset(writer, 0x90, 2 * Page);
  for (size_t i = 0; i < Signature.size(); ++i) writer[Page + 0x20 + i] = static_cast<uint8_t>(Signature[i]);
  auto* view = static_cast<uint8_t*>(MapViewOfFile(section, FILE_MAP_COPY | FILE_MAP_EXECUTE, 0, 0, 0));
  ASSERT_NE(view, nullptr);
  MEMORY_BASIC_INFORMATION info = {};
  ASSERT_EQ(VirtualQuery(view, &info, sizeof info), sizeof info);
  EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_EXECUTE_WRITECOPY));
  EXPECT_EQ(FindMethodPtr(view, Signature, 0), view + Page + 0x20);
  UnmapViewOfFile(view);
  UnmapViewOfFile(writer);
  CloseHandle(section);
}

TEST(FindMethodPtr, MatchMayStraddleTwoRegionsOfOneAllocation) {
  TAllocation a(3);
  a.Commit(0, 1, PAGE_EXECUTE_READ);
  a.Commit(1, 1, PAGE_READWRITE);  // readable, not searched on its own
  a.Commit(2, 1, PAGE_EXECUTE_READ);
  a.Put(Page - 3, Signature);
  a.Put(Page + 0x80, Signature);
  a.Protect();
  EXPECT_EQ(FindMethodPtr(a.Base, Signature, 0), a.Base + Page - 3);
}

TEST(FindMethodPtr, NoMatchStartsAtOrBeyondMaxSize) {
  TAllocation a(1);
  a.Commit(0, 1, PAGE_EXECUTE_READ);
  a.Put(256, Signature);
  a.Protect();
  EXPECT_EQ(FindMethodPtr(a.Base, Signature, 256), nullptr);
  EXPECT_EQ(FindMethodPtr(a.Base, Signature, 257), a.Base + 256);  // may read past the limit
  EXPECT_EQ(FindMethodPtr(a.Base, Signature, 0), a.Base + 256);
  EXPECT_EQ(FindMethodPtr(a.Base, Signature, -1), a.Base + 256);
}

TEST(FindMethodPtr, MaxSizeOf64KMeansSixteenMegabytes) {
  TAllocation a(32);
  a.Commit(0, 32, PAGE_EXECUTE_READ);
  a.Put(0x10000 + 0x100, Signature);
  a.Protect();
  EXPECT_EQ(FindMethodPtr(a.Base, Signature, 0x10000), a.Base + 0x10100);
  EXPECT_EQ(FindMethodPtr(a.Base, Signature, 0x10001), nullptr);
}

TEST(FindMethodPtr, LeadingWildcardsGiveTheFirstWildcardPosition) {
  TAllocation a(1);
  a.Commit(0, 1, PAGE_EXECUTE_READ);
  a.Put(0x100, ParsePattern("11 22 53 56 57 8B"));
  a.Protect();
  EXPECT_EQ(FindMethodPtr(a.Base, ParsePattern("?? ?? 53 56 57 8B"), 0), a.Base + 0x100);
  EXPECT_EQ(FindMethodPtr(a.Base, ParsePattern("11 ?? 53 ?? 57 8B"), 0), a.Base + 0x100);
  EXPECT_EQ(FindMethodPtr(a.Base, ParsePattern("?? ?? ?? ??"), 0), nullptr);
}

TEST(FindMethodPtr, PatternsOfFewerThanFourEntriesFindNothing) {
  TAllocation a(1);
  a.Commit(0, 1, PAGE_EXECUTE_READ);
  a.Put(0x100, Signature);
  a.Protect();
  EXPECT_EQ(FindMethodPtr(a.Base, ParsePattern("53 56 57"), 0), nullptr);
  EXPECT_EQ(FindMethodPtr(a.Base, ParsePattern("53 56 57 8B"), 0), a.Base + 0x100);
}

TEST(FindMethodPtr, ComparisonNeverReadsPastTheCommittedEnd) {
  // A prefix of the pattern in the last bytes of the last committed page;
  // behind it a reserved page (same allocation) ...
  {
    TAllocation a(2);
    a.Commit(0, 1, PAGE_EXECUTE_READ);
    a.Put(Page - 3, ParsePattern("53 56 57"));
    a.Protect();
    EXPECT_EQ(FindMethodPtr(a.Base, Signature, 0), nullptr);
  }
  // ... or a page without access ...
  {
    TAllocation a(2);
    a.Commit(0, 1, PAGE_EXECUTE_READ);
    a.Commit(1, 1, PAGE_NOACCESS);
    a.Put(Page - 3, ParsePattern("53 56 57"));
    a.Protect();
    EXPECT_EQ(FindMethodPtr(a.Base, Signature, 0), nullptr);
  }
  // ... or free address space behind a single page.
  {
    TAllocation a(1);
    a.Commit(0, 1, PAGE_EXECUTE_READ);
    a.Put(Page - 5, ParsePattern("53 56 57 8B 45"));
    a.Protect();
    EXPECT_EQ(FindMethodPtr(a.Base, Signature, 0), nullptr);
    EXPECT_EQ(FindMethodPtr(a.Base, ParsePattern("53 56 57 8B 45"), 0), a.Base + Page - 5);
  }
}

TEST(FindMethodPtr, SearchStaysInsideItsAllocation) {
  TAllocation first(16);
  ASSERT_NE(first.Base, nullptr);
  first.Commit(0, 16, PAGE_EXECUTE_READ);
  first.Protect();
  // The next 64 KB are free; a second allocation placed there is another module.
  TAllocation second(16, first.Base + 16 * Page);
  if (second.Base == nullptr) GTEST_SKIP() << "address behind the first allocation is taken";
  second.Commit(0, 1, PAGE_EXECUTE_READ);
  second.Put(0x10, Signature);
  second.Protect();
  EXPECT_EQ(FindMethodPtr(first.Base, Signature, 0), nullptr);
  EXPECT_EQ(FindMethodPtr(second.Base, Signature, 0), second.Base + 0x10);
}

TEST(FindMethodPtr, ModuleFormFindsCodeInTheModulesTextSection) {
  const TBytePattern signature = ParsePattern("B8 51 4D 53 47 BA 9E 37 79 1B C3");
  EXPECT_EQ(FindMethodPtr(GetModuleHandleW(nullptr), signature, 0), Code(Fixture_Signature));
  EXPECT_EQ(FindMethodPtr(GetModuleHandleW(nullptr), ParsePattern("?? 51 4D 53 47 BA 9E 37 79 1B C3"), 0x10000),
            Code(Fixture_Signature));
}

// One pass for many patterns gives each the answer its own search gives:
// first match, executable regions only, matches straddling regions, limits,
// leading wildcards, too-short patterns, never reading past committed memory.
TEST(FindPatternsOnce, AgreesWithFindMethodPtrForEveryRequest) {
  TAllocation a(6);
  a.Commit(0, 1, PAGE_READWRITE);
  a.Commit(1, 1, PAGE_EXECUTE_READ);
  a.Commit(2, 1, PAGE_READONLY);
  a.Commit(3, 2, PAGE_EXECUTE_READWRITE);
  a.Put(0x10, ParsePattern("A1 A2 A3 A4"));                // only in a page that is not searched
  a.Put(Page + 0x20, Signature);                           // first of two
  a.Put(4 * Page, Signature);
  a.Put(2 * Page - 3, ParsePattern("B1 B2 B3 B4 B5 B6"));  // runs into the read-only page
  a.Put(Page + 0x300, ParsePattern("11 22 C3 C4 C5 C6"));
  a.Put(5 * Page - 3, ParsePattern("D1 D2 D3"));           // a prefix at the committed end
  a.Put(3 * Page + 0x40, ParsePattern("E1 E2 E3 E4"));
  a.Protect();
  std::vector<TPatternRequest> requests;
  for (const char* pattern : {"A1 A2 A3 A4", "53 56 57 8B 45 08", "B1 B2 B3 B4 B5 B6", "?? ?? C3 C4 C5 C6",
                              "11 ?? C3 ?? C5 C6", "D1 D2 D3 D4", "E1 E2 E3", "?? ?? ?? ??", "F1 F2 F3 F4"})
    for (int32_t maxSize : {0, 0x10000, int32_t(Page + 0x20), int32_t(Page + 0x21), int32_t(3 * Page + 0x41)})
      requests.push_back({ParsePattern(pattern), maxSize});
  FindPatternsOnce(a.Base, requests);
  for (const TPatternRequest& r : requests)
    EXPECT_EQ(r.Result, FindMethodPtr(a.Base, r.Pattern, r.MaxSize)) << r.Pattern.size() << " entries, " << r.MaxSize;
  EXPECT_EQ(requests[5].Result, a.Base + Page + 0x20);  // the first signature, no limit

  // Set as answers, the table replaces the search for the requests it holds.
  requests[5].Result = a.Base + 4 * Page;
  SetPatternAnswers(&requests);
  EXPECT_EQ(FindMethodPtr(a.Base, Signature, 0), a.Base + 4 * Page);
  EXPECT_EQ(FindMethodPtr(a.Base + 1, Signature, 0), a.Base + Page + 0x20);  // another start scans
  SetPatternAnswers(nullptr);
  EXPECT_EQ(FindMethodPtr(a.Base, Signature, 0), a.Base + Page + 0x20);
}
