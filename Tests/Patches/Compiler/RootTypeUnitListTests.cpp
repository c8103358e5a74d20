// "Compiler.RootTypeUnitList" against the stand-in compiler: three ways,
// its patterns once at their sites (the search within its window of R),
// the lists R leaves as the host leaves them for random units (names
// repeated in other cases, non-ASCII, several roots, lists growing within
// a call and from call to call), and the sets of a call freed when it
// returns and when it raises.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>
#include <windows.h>

#include "Common/HostGuard.h"
#include "Framework/PatchRegistry.h"
#include "Hooking/PatternSearch.h"
#include "Patches/Compiler/CompilerCreateRootTypeUnitListOpt.h"
#include "DccStandIn.h"
#include "TestPaths.h"
#include "ThreeWayHarness.h"
#include "dcc150/DccRootTypesDriver.h"

namespace {

using namespace DccRootTypesDriver;
namespace Patterns = Quillmend::RootTypeUnitListPatterns;

const wchar_t* const RootTypes = L"Compiler.RootTypeUnitList";

uint32_t Next(uint32_t& seed, uint32_t range) {
  seed = seed * 1103515245u + 12345u;
  return (seed >> 8) % range;
}

// A type name from a small pool, in one of three spellings: the host's
// comparison ignores ASCII case only ("T\xC3\x84" and "T\xC3\xA4" differ).
std::string TypeName(uint32_t& seed) {
  static const char* const stems[] = {"TObject", "TList", "TStrings", "T\xC3\x84rger", "T\xC3\xA4rger", "IUnknown",
                                      "TCollectionItem", "TComponent"};
  std::string name = stems[Next(seed, 8)] + std::to_string(Next(seed, 40));
  switch (Next(seed, 3)) {
  case 1:
    for (char& c : name)
      if (c >= 'a' && c <= 'z') c = char(c - 32);
    break;
  case 2:
    for (char& c : name)
      if (c >= 'A' && c <= 'Z') c = char(c + 32);
    break;
  default:
    break;
  }
  return name;
}

// `calls` calls of R over random units, the lists left after each.
std::string Session(uint32_t seed, int calls) {
  DccExport<ResetFn>(Export::Reset)();
  auto newUnit = DccExport<NewUnitFn>(Export::NewUnit);
  auto addType = DccExport<AddTypeFn>(Export::AddType);
  auto unitList = DccExport<UnitListFn>(Export::UnitList);
  auto checksum = DccExport<ChecksumFn>(Export::Checksum);
  std::string trace;
  for (int call = 0; call < calls; ++call) {
    void* first = nullptr;
    for (uint32_t u = Next(seed, 6); u > 0; --u) {
      void* unit = newUnit(&first, ("Unit" + std::to_string(Next(seed, 100))).c_str());
      for (uint32_t t = Next(seed, 60); t > 0; --t) addType(unit, TypeName(seed).c_str(), int32_t(Next(seed, 3)));
    }
    void* result = unitList(first);
    trace += std::to_string(checksum(result)) + " ";
    DccExport<FreeResultFn>(Export::FreeResult)(result);
  }
  return trace;
}

const std::vector<TPatchRow> PatchRows = {{RootTypes, {}}};
const std::vector<TVariantRow> VariantRows = {{"roottypes", {RootTypes}}, {"rootsearch", {RootTypes}}};

const TThreeWaySubsystem& Roots() {
  static const TThreeWaySubsystem subsystem{
      {L"dcc150.dll"}, nullptr, [] { Quillmend::InstallCompilerCreateRootTypeUnitListOpt(); },
      [] { return Session(5, 6); }, {RootTypes},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(RootTypeUnitList, Roots(), PatchRows, VariantRows)

class RootTypeUnitListBehaviour : public TDccPatchBehaviour {
protected:
  static void Install() { InstallApplied(&Quillmend::InstallCompilerCreateRootTypeUnitListOpt, RootTypes); }
};

} // namespace

TEST_F(RootTypeUnitListBehaviour, ThePatternsAreFoundOnceAtTheirSites) {
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  const Quillmend::TBytePattern unitList = Quillmend::ParsePattern(Patterns::UnitList);
  const Quillmend::TBytePattern search = Quillmend::ParsePattern(Patterns::Search);
  auto* r = static_cast<uint8_t*>(Quillmend::FindMethodPtr(dcc, unitList, 0));
  ASSERT_EQ(r, Site("RootTypeUnitList"));
  EXPECT_EQ(Quillmend::FindMethodPtr(r + 1, unitList, 0), nullptr);
  auto* c = static_cast<uint8_t*>(Quillmend::FindMethodPtr(r, search, Patterns::SearchWindow));
  ASSERT_EQ(c, Site("RootTypeListSearch"));
  EXPECT_LT(c - r, Patterns::SearchWindow);
  EXPECT_EQ(Quillmend::FindMethodPtr(c + 1, search, 0), nullptr);
  EXPECT_EQ(c + 5 + *reinterpret_cast<int32_t*>(c + 1), DccExport<uint8_t*>(Export::ListOf));
}

// Random units over one to eight calls: the lists and results as the host's.
TEST_F(RootTypeUnitListBehaviour, RandomUnitsAsTheHostListsThem) {
  struct TRow {
    uint32_t Seed;
    int Calls;
  };
  const TRow rows[] = {{1, 1}, {2, 3}, {3, 8}, {4, 2}, {5, 5}, {6, 8}, {7, 1}, {8, 4}};
  std::vector<std::string> host;
  for (const TRow& row : rows) host.push_back(Session(row.Seed, row.Calls));
  Install();
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].Seed);
    EXPECT_EQ(Session(rows[i].Seed, rows[i].Calls), host[i]);
    EXPECT_EQ(Quillmend::RootTypeSetsLive(), 0);
  }
}

// One unit's types against a list seeded outside R and growing in the call:
// each name found or entered as the host does it.
TEST_F(RootTypeUnitListBehaviour, AListGrowingWithinACall) {
  auto run = [] {
    DccExport<ResetFn>(Export::Reset)();
    DccExport<SeedFn>(Export::Seed)(50);
    void* first = nullptr;
    void* unit = DccExport<NewUnitFn>(Export::NewUnit)(&first, "Growing");
    // New, the same again in another case, a seeded one, a new one right
    // after a new one, the first new one again.
    for (const char* name : {"TNew1", "tnew1", "TSEED7", "TNew2", "TNew3", "TNEW1", "TSeed49", "TSeed50"})
      DccExport<AddTypeFn>(Export::AddType)(unit, name, 0);
    void* result = DccExport<UnitListFn>(Export::UnitList)(first);
    const uint32_t sum = DccExport<ChecksumFn>(Export::Checksum)(result);
    DccExport<FreeResultFn>(Export::FreeResult)(result);
    return std::make_pair(sum, DccExport<ListNodesFn>(Export::ListNodes)(0));
  };
  const auto host = run();
  EXPECT_EQ(host.second, 54);  // TNew1, TNew2, TNew3, TSeed50 entered
  Install();
  EXPECT_EQ(run(), host);
}

// R raising in the middle (an append the compiler's memory refuses): the
// call's sets are freed all the same, and the next call starts afresh.
TEST_F(RootTypeUnitListBehaviour, SetsFreedWhenTheCallRaises) {
  Install();
  DccExport<ResetFn>(Export::Reset)();
  void* first = nullptr;
  void* unit = DccExport<NewUnitFn>(Export::NewUnit)(&first, "Raising");
  for (int i = 0; i < 40; ++i) DccExport<AddTypeFn>(Export::AddType)(unit, ("TType" + std::to_string(i)).c_str(), i % 3);
  DccExport<RaiseAfterFn>(Export::RaiseAfter)(20);
  QmHost::HostExceptionReport report;
  void* result = nullptr;
  EXPECT_FALSE(QmHost::CallHostGuarded([&] { result = DccExport<UnitListFn>(Export::UnitList)(first); }, report));
  EXPECT_EQ(report.code, 0x0EEDFADEu);
  EXPECT_EQ(Quillmend::RootTypeSetsLive(), 0);
  EXPECT_EQ(DccExport<ListNodesFn>(Export::ListNodes)(0) + DccExport<ListNodesFn>(Export::ListNodes)(1) +
                DccExport<ListNodesFn>(Export::ListNodes)(2),
            19);
  // Again, to its end: the 21 left are entered, the 19 found.
  result = DccExport<UnitListFn>(Export::UnitList)(first);
  EXPECT_EQ(DccExport<ListNodesFn>(Export::ListNodes)(0) + DccExport<ListNodesFn>(Export::ListNodes)(1) +
                DccExport<ListNodesFn>(Export::ListNodes)(2),
            40);
  EXPECT_EQ(Quillmend::RootTypeSetsLive(), 0);
  DccExport<FreeResultFn>(Export::FreeResult)(result);
}
