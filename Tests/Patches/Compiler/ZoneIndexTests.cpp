// The unit-of-address index on its own: the binary search over synthetic
// zones (bounds, addresses on both sides of 2 GB, null slots while a chain is
// removed), the release of chains against the stand-in compiler's memory
// (sorted, no null slot, exactly the live zones, one release notification per
// unit), and the conversion of a memory manager already in use.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "Patches/Compiler/CompilerOptimization.h"
#include "Patches/Compiler/CompilerOptimizationGetUnitOf.h"
#include "StandInCompiler.h"

using Quillmend::TDccContext;
using Quillmend::TDccUnit;
using Quillmend::TDccZone;
using Quillmend::TZoneIndexSlot;
using Quillmend::ZoneIndex;

namespace {

uint8_t* At(uintptr_t address) { return reinterpret_cast<uint8_t*>(address); }

// Zones that are never dereferenced beyond their descriptors.
struct TSyntheticZones {
  std::vector<TDccZone> Zones;
  TDccContext Context = {};
  explicit TSyntheticZones(std::vector<std::pair<uintptr_t, uint32_t>> ranges) : Zones(ranges.size()) {
    for (size_t i = 0; i < ranges.size(); ++i) {
      Zones[i] = {i + 1 < ranges.size() ? &Zones[i + 1] : nullptr, ranges[i].second, At(ranges[i].first), &Context, nullptr};
      Quillmend::IndexZone(&Zones[i]);
    }
    Context.FirstZone = &Zones[0];
  }
  ~TSyntheticZones() { Quillmend::ResetGetUnitOf(); }
};

struct TSearchCase {
  uintptr_t Address;
  bool Found;
  int32_t Index;  // the slot, or the insertion point
};

TEST(ZoneIndexSearch, BoundsAndBothSidesOfTwoGigabytes) {
  TSyntheticZones zones({{0x00400000, 0x1000}, {0x10000000, 0x100}, {0x7FFFF000, 0x1000},
                         {0x80000000, 0x10000}, {0xF0000000, 0x20}});
  const TSearchCase cases[] = {
      {0x00400000, true, 0},  {0x00400FFF, true, 0},  {0x00401000, false, 1},  // one byte past the end is outside
      {0x003FFFFF, false, 0}, {0x100000FF, true, 1},  {0x10000100, false, 2},
      {0x7FFFFFFF, true, 2},  {0x80000000, true, 3},  {0x8000FFFF, true, 3},
      {0x80010000, false, 4}, {0xF000001F, true, 4},  {0xF0000020, false, 5},
      {0xFFFFFFFF, false, 5}, {0x00000000, false, 0},
  };
  for (const TSearchCase& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.Address);
    int32_t index = -1;
    EXPECT_EQ(Quillmend::FindZoneIndex(At(c.Address), index), c.Found);
    EXPECT_EQ(index, c.Index);
    index = -1;
    EXPECT_EQ(Quillmend::FindZoneIndexSkippingNulls(At(c.Address), index), c.Found);
    EXPECT_EQ(index, c.Index);
  }
  // The answers are the zones' context; the last zone found answers next time first.
  EXPECT_EQ(Quillmend::FindContext(At(0x80000010)), &zones.Context);
  EXPECT_EQ(Quillmend::LastZone, &zones.Zones[3]);
  EXPECT_EQ(Quillmend::FindContextOrNil(nullptr), nullptr);
  EXPECT_EQ(Quillmend::FindContext(At(0x80010000)), nullptr);
}

TEST(ZoneIndexSearch, NullSlotsAreSkippedOnBothSides) {
  TSyntheticZones zones({{0x1000, 0x100}, {0x2000, 0x100}, {0x3000, 0x100}, {0x4000, 0x100},
                         {0x5000, 0x100}, {0x6000, 0x100}, {0x7000, 0x100}});
  for (int nulled : {1, 2, 3, 5}) ZoneIndex[size_t(nulled)].Zone = nullptr;  // 0x2000, 0x3000, 0x4000, 0x6000
  const TSearchCase cases[] = {
      {0x1010, true, 0},  {0x5010, true, 4},  {0x7010, true, 6},  {0x2010, false, 1},
      {0x4010, false, 4}, {0x6010, false, 6}, {0x0010, false, 0}, {0x8000, false, 7},
  };
  for (const TSearchCase& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.Address);
    int32_t index = -1;
    EXPECT_EQ(Quillmend::FindZoneIndexSkippingNulls(At(c.Address), index), c.Found);
    if (c.Found) {
      EXPECT_EQ(index, c.Index);
    }
  }
}

std::vector<TDccZone*> g_releasedZones;
void QM_REGISTER RecordRelease(TDccZone* zone) { g_releasedZones.push_back(zone); }

// A chain whose first zone is not indexed still leaves the index whole, and
// the last zone found goes with it.
TEST(ZoneIndexRelease, AChainWithoutItsFirstZoneIndexedLeavesWhole) {
  TSyntheticZones zones({{0x1000, 0x100}, {0x2000, 0x100}, {0x3000, 0x100}});
  TSyntheticZones others({{0x9000, 0x100}});
  ZoneIndex.erase(ZoneIndex.begin());  // the first zone of `zones`
  ASSERT_EQ(Quillmend::FindContext(At(0x3010)), &zones.Context);
  Quillmend::HostFreeZone = &RecordRelease;
  Quillmend::OnZoneChainFreed(&zones.Zones[0]);
  EXPECT_EQ(Quillmend::LastZone, nullptr);
  ASSERT_EQ(ZoneIndex.size(), 1u);
  EXPECT_EQ(ZoneIndex[0].Zone, &others.Zones[0]);
  EXPECT_EQ(g_releasedZones, (std::vector<TDccZone*>{&zones.Zones[0], &zones.Zones[1], &zones.Zones[2]}));
}

// ---- against the stand-in compiler's memory ------------------------------------------

const StandIn::TDriver& D() { return StandIn::Driver(); }
const StandIn::TVariables& V() { return StandIn::Variables(); }

int g_releases = 0;
void* g_released = nullptr;
void CountRelease(void* unit) {
  ++g_releases;
  g_released = unit;
}

// The index holds exactly the zones of the given contexts, sorted, without null slots.
void ExpectIndexHolds(const std::vector<TDccContext*>& live) {
  std::vector<TDccZone*> zones;
  for (TDccContext* context : live)
    for (TDccZone* zone = context->FirstZone; zone; zone = zone->Next) zones.push_back(zone);
  ASSERT_EQ(ZoneIndex.size(), zones.size());
  for (size_t i = 0; i < ZoneIndex.size(); ++i) {
    ASSERT_NE(ZoneIndex[i].Zone, nullptr) << i;
    if (i) {
      ASSERT_LT(ZoneIndex[i - 1].Start, ZoneIndex[i].Start) << i;
    }
  }
  for (TDccZone* zone : zones) {
    int32_t index;
    ASSERT_TRUE(Quillmend::FindZoneIndex(zone->Start + zone->Size - 1, index));
    ASSERT_EQ(ZoneIndex[size_t(index)].Zone, zone);
  }
}

TEST(ZoneIndexRelease, ChainsFreedInRandomOrderKeepTheIndexExact) {
  StandIn::Load();
  Quillmend::InstallGetUnitOf();
  ASSERT_EQ(StandIn::PatchStatus(L"Compiler.GetUnitOf"), L"applied");
  std::mt19937 random(5);
  std::vector<TDccContext*> live;
  for (int i = 0; i < 40; ++i) {
    TDccContext* context = D().NewContext(1 + i % 3, 256, 1000 + uint32_t(i));
    for (int k = int(random() % 6); k >= 0; --k) D().Allocate(context, 100 + random() % 300);
    live.push_back(context);
  }
  ExpectIndexHolds(live);
  while (!live.empty()) {
    size_t pick = random() % live.size();
    // Asked about first, so the one-entry cache may point into the freed chain.
    ASSERT_EQ(Quillmend::FindContext(live[pick]->FirstZone->Start), live[pick]);
    D().FreeContext(live[pick]);
    live.erase(live.begin() + long(pick));
    EXPECT_EQ(Quillmend::LastZone, nullptr);
    ExpectIndexHolds(live);
    if (HasFatalFailure()) return;
  }
}

TEST(ZoneIndexRelease, AUnitsContextReleasedNotifiesOnce) {
  StandIn::Load();
  Quillmend::InstallGetUnitOf();
  Quillmend::UnitReleaseHandler = &CountRelease;
  TDccUnit* unit = D().NewUnit("Notified", 7, 8, 0, 1);
  TDccContext* context = D().UnitContext(unit);
  ASSERT_NE(context->FirstZone->Next, nullptr);  // a chain of zones
  EXPECT_EQ(Quillmend::GetUnitOfAddress(unit->UnitSymbol), unit);
  D().UnitRemove(unit);
  g_releases = 0;
  D().FreeContext(context);  // through the chain release
  EXPECT_EQ(g_releases, 1);
  EXPECT_EQ(g_released, unit);

  // A context of one zone goes through the single-zone release.
  TDccContext* single = D().NewContext(1, 4096, 9);
  D().Allocate(single, 64);
  ASSERT_EQ(single->FirstZone->Next, nullptr);
  single->FirstZone->ZoneUnit = unit;
  g_releases = 0;
  D().FreeContext(single);
  EXPECT_EQ(g_releases, 1);
  std::vector<TDccContext*> tables;  // what is left: the compiler's own tables
  for (TDccContext* context = *V().TableContexts; context; context = context->Next) tables.push_back(context);
  ExpectIndexHolds(tables);
  Quillmend::UnitReleaseHandler = nullptr;
}

// Installed while the compiler's memory is in use: every reference to an
// old descriptor is replaced (first and current zone, links, free ranges),
// the copies are indexed, and each unit context's first zone names its unit.
TEST(ZoneIndexConversion, ReplacesEveryReferenceAndNamesTheUnits) {
  StandIn::Load();
  D().PrepareProject(60, 8, 3);
  D().LoadPrepared();
  std::vector<TDccZone*> before;
  for (TDccContext** chain : {V().Contexts, V().ScratchContexts, V().TableContexts})
    for (TDccContext* context = *chain; context; context = context->Next)
      for (TDccZone* zone = context->FirstZone; zone; zone = zone->Next) before.push_back(zone);
  for (TDccZone* range = *V().FreeRanges; range; range = range->Next) before.push_back(range);
  std::sort(before.begin(), before.end());
  Quillmend::InstallGetUnitOf();
  ASSERT_EQ(StandIn::PatchStatus(L"Compiler.GetUnitOf"), L"applied");

  auto isOld = [&before](TDccZone* zone) { return std::binary_search(before.begin(), before.end(), zone); };
  std::vector<TDccContext*> live;
  for (TDccContext** chain : {V().Contexts, V().ScratchContexts, V().TableContexts})
    for (TDccContext* context = *chain; context; context = context->Next) {
      live.push_back(context);
      EXPECT_FALSE(isOld(context->CurrentZone));
      for (TDccZone* zone = context->FirstZone; zone; zone = zone->Next) {
        EXPECT_FALSE(isOld(zone));
        EXPECT_EQ(zone->Context, context);
      }
    }
  for (TDccZone* range = *V().FreeRanges; range; range = range->Next) EXPECT_FALSE(isOld(range));
  EXPECT_EQ(*V().FreeDescriptors == nullptr || !isOld(*V().FreeDescriptors), true);
  ExpectIndexHolds(live);
  int units = 0;
  for (TDccUnit* unit = *V().UnitListHead; unit; unit = unit->Next, ++units) {
    EXPECT_EQ(D().UnitContext(unit)->FirstZone->ZoneUnit, unit) << unit->UnitSymbol->Name;
    EXPECT_EQ(Quillmend::GetUnitOfAddress(unit->UnitSymbol), unit);
  }
  EXPECT_GT(units, 60);
}

}  // namespace
