// The unit runner behind library load and unload.
#include "Framework/LibraryUnitTable.h"
#include "Hooking/CodeTransaction.h"
#include "Hooking/EngineError.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace Quillmend;

namespace {

std::vector<std::string> g_events;

template <char Name>
void Init() { g_events.push_back(std::string("init ") + Name); }
template <char Name>
void Final() { g_events.push_back(std::string("final ") + Name); }
void RaisingInit() {
  g_events.push_back("init B");
  RaiseError("unit B failed");
}
void RaisingFinal() {
  g_events.push_back("final B");
  RaiseError("finalization B failed");
}

const TUnitInfo A = {"A", Init<'A'>, Final<'A'>};
const TUnitInfo B = {"B", Init<'B'>, Final<'B'>};
const TUnitInfo C = {"C", Init<'C'>, Final<'C'>};
const TUnitInfo NoProcs = {"N", nullptr, nullptr};
const TUnitInfo RaisingB = {"B", RaisingInit, Final<'B'>};
const TUnitInfo BadFinalB = {"B", Init<'B'>, RaisingFinal};

using Events = std::vector<std::string>;

}  // namespace

TEST(UnitTable, InitializesInLinkOrderOnceAndFinalizesInReverseOnce) {
  g_events.clear();
  TUnitTable table({&A, &NoProcs, &B, &C});
  table.InitializeUnits();
  table.InitializeUnits();
  EXPECT_EQ(g_events, (Events{"init A", "init B", "init C"}));
  table.FinalizeUnits();
  table.FinalizeUnits();
  table.InitializeUnits();  // a finalized unit is not brought back
  EXPECT_EQ(g_events, (Events{"init A", "init B", "init C", "final C", "final B", "final A"}));
}

TEST(UnitTable, FailingInitializationUndoesTheUnitsBeforeItAndPropagates) {
  g_events.clear();
  TUnitTable table({&A, &RaisingB, &C});
  try {
    table.InitializeUnits();
    FAIL() << "no exception";
  } catch (const EQuillmendError& e) {
    EXPECT_STREQ(e.what(), "unit B failed");
  }
  // The failing unit may have installed something before raising: it is
  // finalized too, then the earlier ones; C never ran.
  EXPECT_EQ(g_events, (Events{"init A", "init B", "final B", "final A"}));
  EXPECT_FALSE(table.IsInitialized(0));
  table.FinalizeUnits();  // the loader's detach afterwards finds nothing left
  EXPECT_EQ(g_events.size(), 4u);
}

TEST(UnitTable, FailingFinalizationDoesNotStopTheOthers) {
  g_events.clear();
  TUnitTable table({&A, &BadFinalB, &C});
  table.InitializeUnits();
  EXPECT_THROW(table.FinalizeUnits(), EQuillmendError);
  EXPECT_EQ(g_events, (Events{"init A", "init B", "init C", "final C", "final B", "final A"}));
}

namespace {

uint8_t g_code[8] = {0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90};
uint8_t g_seenAtFinalization = 0;

// A unit that patches at its initialization, as patch modules do, and looks
// at the patched byte when it is finalized.
void PatchingInit() {
  TCodeTransaction transaction(L"Start.TestUnitTable");
  transaction.Stage(g_code, {0xC3});
  transaction.Commit();
}
void PatchingFinal() { g_seenAtFinalization = g_code[0]; }
const TUnitInfo Patching = {"P", PatchingInit, PatchingFinal};

}  // namespace

TEST(UnitTable, EveryWriteIsUndoneBeforeAnyUnitIsFinalized) {
  TUnitTable table({&Patching, &A});
  table.InitializeUnits();
  EXPECT_EQ(g_code[0], 0xC3);
  table.FinalizeUnits();
  EXPECT_EQ(g_seenAtFinalization, 0x90);
  EXPECT_EQ(g_code[0], 0x90);
}
