// A host exception raised by the compiler's unit-free routine while the pack
// frees units in a loop: it passes through the pack's frames to the host's
// handler, the pack's state is back to normal afterwards (the unlinking
// replacement works through the index again), and the compiler ends where it
// ends without the pack.
#include <gtest/gtest.h>

#include "Common/HostGuard.h"
#include "StandInCompiler.h"

using Quillmend::TDccUnit;

namespace {

const StandIn::TDriver& D() { return StandIn::Driver(); }

constexpr unsigned long HostExceptionCode = 0x0EEDFADE;
constexpr int Units = 400, Imports = 6;
constexpr uint32_t RandomSeed = 4242;

TDccUnit* ListHead(HMODULE dcc) {
  return *reinterpret_cast<TDccUnit**>(GetProcAddress(dcc, "DccUnitListHead"));
}

// The n-th unit (from 0) that the reset frees, in list order.
TDccUnit* NthOutdated(HMODULE dcc, int n) {
  for (TDccUnit* unit = ListHead(dcc); unit; unit = unit->Next) {
    if ((unit->State < 4 || unit->State == 5) && n-- == 0) return unit;
  }
  return nullptr;
}

TDccUnit* NthUnit(HMODULE dcc, int n) {
  TDccUnit* unit = ListHead(dcc);
  while (unit && n-- > 0) unit = unit->Next;
  return unit;
}

// Calls f the way the host calls into the compiler: inside a structured-exception
// frame that catches host exceptions. True if a host exception was caught.
template <class F>
bool CaughtHostException(F&& f) {
  QmHost::HostExceptionReport report;
  if (QmHost::CallHostGuarded(f, report)) return false;
  EXPECT_EQ(report.code, HostExceptionCode) << "caught something else";
  return report.code == HostExceptionCode;
}

// A unit importing `imported`, and whether unlinking `imported` reaches it.
bool UnlinkingReachesImporter(uint32_t serial) {
  TDccUnit* imported = D().NewUnit("Probe.Imported", serial, 8, 0, 1);
  TDccUnit* importer = D().NewUnit("Probe.Importer", serial + 1, 8, 0, 1);
  EXPECT_EQ(D().Import(importer, "Probe.Imported"), 1);
  D().UnlinkImports(imported);
  return importer->Imports->Unit == nullptr && importer->State == 4;
}

struct TRaisedRun {
  bool Raised;
  int UnitsAfterRaise;
  uint8_t MassResetAfterRaise;  // the pack's flag right after the host exception
  bool UnlinkWorks;
  uint32_t Finished;  // checksum once the interrupted work has been done again
  int UnitsFinished;
};

// Reset with the unit-free routine raising at the third unit it frees; then
// unlinking, the reset again, a recompile.
TRaisedRun RaiseDuringReset(HMODULE dcc) {
  TRaisedRun run{};
  D().LoadProject(Units, Imports, RandomSeed);
  D().MarkOutdated(20, RandomSeed + 1);
  D().RaiseOnFree(NthOutdated(dcc, 2));
  run.Raised = CaughtHostException([] { D().Reset(); });
  run.UnitsAfterRaise = D().UnitCount();
  run.MassResetAfterRaise = Quillmend::InMassReset;
  run.UnlinkWorks = UnlinkingReachesImporter(900000);
  D().Reset();
  D().Recompile();
  run.Finished = D().Checksum();
  run.UnitsFinished = D().UnitCount();
  return run;
}

// Free-all with the unit-free routine raising at the hundredth unit; then
// unlinking, free-all again, and a fresh load of the project.
TRaisedRun RaiseDuringFreeAll(HMODULE dcc) {
  TRaisedRun run{};
  D().LoadProject(Units, Imports, RandomSeed);
  D().RaiseOnFree(NthUnit(dcc, 99));
  run.Raised = CaughtHostException([] { D().FreeAll(); });
  run.UnitsAfterRaise = D().UnitCount();
  run.MassResetAfterRaise = Quillmend::InMassReset;
  run.UnlinkWorks = UnlinkingReachesImporter(900000);
  D().FreeAll();
  run.UnitsFinished = D().UnitCount();
  D().LoadProject(Units, Imports, RandomSeed);
  D().MarkOutdated(20, RandomSeed + 1);
  D().Reset();
  run.Finished = D().Checksum();
  return run;
}

void ExpectSameEnd(const TRaisedRun& patched, const TRaisedRun& plain) {
  EXPECT_TRUE(plain.Raised);
  EXPECT_TRUE(plain.UnlinkWorks);
  EXPECT_TRUE(patched.Raised);
  EXPECT_EQ(patched.MassResetAfterRaise, 0);
  EXPECT_TRUE(patched.UnlinkWorks) << "unlinking still switched off after the host exception";
  // The units freed before the raise are the same; the rest stay loaded.
  EXPECT_EQ(patched.UnitsAfterRaise, plain.UnitsAfterRaise);
  EXPECT_EQ(patched.UnitsFinished, plain.UnitsFinished);
  EXPECT_EQ(patched.Finished, plain.Finished);
}

} // namespace

TEST(HostExceptionWhileFreeingUnits, ResetRaisingLeavesUnlinkingWorkingAndEndsAsTheCompiler) {
  HMODULE dcc = StandIn::Load();
  TRaisedRun plain = RaiseDuringReset(dcc);
  D().FreeAll();
  StandIn::Install();
  ASSERT_EQ(StandIn::PatchStatus(L"Compiler.ResetUnits"), L"applied");
  ExpectSameEnd(RaiseDuringReset(dcc), plain);
}

TEST(HostExceptionWhileFreeingUnits, FreeAllRaisingLeavesUnlinkingWorkingAndEndsAsTheCompiler) {
  HMODULE dcc = StandIn::Load();
  TRaisedRun plain = RaiseDuringFreeAll(dcc);
  D().FreeAll();
  StandIn::Install();
  ASSERT_EQ(StandIn::PatchStatus(L"Compiler.UnitFreeAll"), L"applied");
  ExpectSameEnd(RaiseDuringFreeAll(dcc), plain);
}
