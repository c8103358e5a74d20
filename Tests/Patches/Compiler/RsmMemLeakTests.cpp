// "Compiler.RsmMemLeak" against the stand-in compiler: three ways, its
// patterns once at their sites, the leak reproduced unpatched (live blocks
// grow with the stores) and gone patched (flat) with the same data and
// lookups, and StoreRecord's cases: the merge path only for an element
// holding another block, the lookup's cache forgotten for its record.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>
#include <windows.h>

#include "Framework/PatchRegistry.h"
#include "Hooking/PatternSearch.h"
#include "Patches/Compiler/CompilerDbkRsmMemoryLeakFix.h"
#include "DccStandIn.h"
#include "TestPaths.h"
#include "ThreeWayHarness.h"
#include "dcc150/DccRsmDriver.h"

namespace {

using namespace DccRsmDriver;
namespace Patterns = Quillmend::RsmPatterns;

const wchar_t* const Rsm = L"Compiler.RsmMemLeak";

uint32_t Next(uint32_t& seed, uint32_t range) {
  seed = seed * 1103515245u + 12345u;
  return (seed >> 8) % range;
}

// `stores` random stores (one in five through the merge path) into
// `elements` elements, a lookup after each: the data and the answers.
std::string Session(uint32_t seed, int elements, int stores) {
  DccExport<ResetFn>(Export::Reset)(elements);
  auto storeNew = DccExport<StoreNewFn>(Export::StoreNew);
  auto lookup = DccExport<LookupFn>(Export::Lookup);
  std::string trace;
  for (int i = 0; i < stores; ++i) {
    const int32_t index = int32_t(Next(seed, uint32_t(elements)));
    storeNew(index, int32_t(1 + Next(seed, 64)), Next(seed, 5) == 0);
    trace += std::to_string(lookup(int32_t(Next(seed, 2) ? index : Next(seed, uint32_t(elements))))) + ",";
  }
  return trace + std::to_string(DccExport<ChecksumFn>(Export::Checksum)());
}

const std::vector<TPatchRow> PatchRows = {{Rsm, {}}};
const std::vector<TVariantRow> VariantRows = {{"rsmstore", {Rsm}}, {"rsmlookup", {Rsm}}};

const TThreeWaySubsystem& Store() {
  static const TThreeWaySubsystem subsystem{
      {L"dcc150.dll"}, nullptr, [] { Quillmend::InstallCompilerDbkRsmMemoryLeakFix(); },
      [] { return Session(3, 16, 300); }, {Rsm},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(RsmMemLeak, Store(), PatchRows, VariantRows)

class RsmMemLeakBehaviour : public TDccPatchBehaviour {
protected:
  static void Install() { InstallApplied(&Quillmend::InstallCompilerDbkRsmMemoryLeakFix, Rsm); }
};

} // namespace

TEST_F(RsmMemLeakBehaviour, ThePatternsAreFoundOnceAtTheirSites) {
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  for (const auto& [pattern, site] : {std::pair{Patterns::Store, "RsmStore"}, std::pair{Patterns::Lookup, "RsmLookup"}}) {
    SCOPED_TRACE(site);
    const Quillmend::TBytePattern parsed = Quillmend::ParsePattern(pattern);
    auto* found = static_cast<uint8_t*>(Quillmend::FindMethodPtr(dcc, parsed, 0));
    EXPECT_EQ(found, Site(site));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(Quillmend::FindMethodPtr(found + 1, parsed, 0), nullptr);
  }
  uint8_t* store = Site("RsmStore");
  EXPECT_EQ(*reinterpret_cast<void**>(store + Patterns::V1), DccExport<void*>(Export::V1));
  EXPECT_EQ(*reinterpret_cast<void**>(store + Patterns::V2), DccExport<void*>(Export::V2));
  EXPECT_EQ(store + Patterns::Merge1 + 5 + *reinterpret_cast<int32_t*>(store + Patterns::Merge1 + 1),
            DccExport<uint8_t*>(Export::Merge1));
  uint8_t* lookup = Site("RsmLookup");
  EXPECT_EQ(*reinterpret_cast<void**>(lookup + Patterns::Limit), DccExport<void*>(Export::Limit));
  EXPECT_EQ(*reinterpret_cast<void**>(lookup + Patterns::Current), DccExport<void*>(Export::Current));
  EXPECT_EQ(*reinterpret_cast<void**>(lookup + Patterns::Count), DccExport<void*>(Export::Count));
}

// N stores into 8 elements: live blocks grow unpatched (every overwritten
// block lost), stay at the elements' count patched; the data the same.
TEST_F(RsmMemLeakBehaviour, LiveBlocksStayFlat) {
  const int counts[] = {8, 100, 1000};
  std::vector<std::pair<int32_t, uint32_t>> host;
  auto run = [](int stores) {
    DccExport<ResetFn>(Export::Reset)(8);
    for (int i = 0; i < stores; ++i) DccExport<StoreNewFn>(Export::StoreNew)(i % 8, 16 + i % 5, 0);
    return std::make_pair(DccExport<LiveFn>(Export::Live)(), DccExport<ChecksumFn>(Export::Checksum)());
  };
  for (int stores : counts) {
    host.push_back(run(stores));
    EXPECT_EQ(host.back().first, stores);  // nothing ever freed
  }
  Install();
  for (size_t i = 0; i < std::size(counts); ++i) {
    SCOPED_TRACE(counts[i]);
    const auto patched = run(counts[i]);
    EXPECT_EQ(patched.first, 8);
    EXPECT_EQ(patched.second, host[i].second);
  }
}

TEST_F(RsmMemLeakBehaviour, RandomStoresAndLookupsAsTheHost) {
  std::vector<std::string> host;
  for (uint32_t seed = 1; seed <= 6; ++seed) host.push_back(Session(seed, 1 + int(seed) * 3, 400));
  Install();
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE(seed);
    EXPECT_EQ(Session(seed, 1 + int(seed) * 3, 400), host[seed - 1]);
  }
}

// StoreRecord by itself: an element holding nothing, the record's own
// block or another block; the record the lookup's current one or not.
TEST_F(RsmMemLeakBehaviour, StoreRecordCases) {
  Install();
  DccExport<ResetFn>(Export::Reset)(1);
  DccExport<StoreNewFn>(Export::StoreNew)(0, 4, 0);  // the element's index for the merge path: 0
  auto* current = DccExport<void**>(Export::Current);
  auto* count = DccExport<int32_t*>(Export::Count);
  auto* limit = DccExport<int32_t*>(Export::Limit);
  const struct {
    const char* Name;
    int Held;        // 0 none, 1 the record's block, 2 another block
    bool IsCurrent;
    int32_t Freed;   // blocks the merge path released
  } rows[] = {
      {"empty element", 0, false, 0},
      {"the record's own block", 1, false, 0},
      {"another block", 2, false, 1},
      {"another block, the current record", 2, true, 1},
      {"empty element, the current record", 0, true, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    uint8_t element[16] = {}, record[20] = {};
    uint8_t* block = static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), 0, 8));  // the record's
    *reinterpret_cast<uint8_t**>(record + 0x0C) = block;
    *reinterpret_cast<int32_t*>(record + 0x10) = 8;
    // The merge path works on the compiler's element 0: the test's element
    // stands for it, the compiler's table holds what it held.
    const int32_t liveBefore = DccExport<LiveFn>(Export::Live)();
    if (row.Held == 1) *reinterpret_cast<uint8_t**>(element + 0x08) = block;
    if (row.Held == 2) *reinterpret_cast<uint8_t**>(element + 0x08) = reinterpret_cast<uint8_t*>(0x1000);
    *current = row.IsCurrent ? static_cast<void*>(record) : reinterpret_cast<void*>(0x2000);
    *count = 5;
    *limit = 0;
    Quillmend::StoreRecord(element, record);
    EXPECT_EQ(liveBefore - DccExport<LiveFn>(Export::Live)(), row.Freed);
    if (row.Held != 2) {
      EXPECT_EQ(*reinterpret_cast<uint8_t**>(element + 0x08), block);
      EXPECT_EQ(*reinterpret_cast<int32_t*>(element + 0x0C), 8);
    }
    EXPECT_EQ(*current, row.IsCurrent ? nullptr : reinterpret_cast<void*>(0x2000));
    EXPECT_EQ(*count, row.IsCurrent ? 0 : 5);
    EXPECT_EQ(*limit, row.IsCurrent ? 0x7FFFFFFF : 0);
    if (row.Held == 2) {
      // Re-stored through the host: the compiler's element 0 holds the record's block.
      DccExport<StoreNewFn>(Export::StoreNew)(0, 4, 0);
    }
  }
}
