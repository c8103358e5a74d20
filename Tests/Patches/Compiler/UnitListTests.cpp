// The unit-list bookkeeping on hand-made unit graphs: transitive unlinking,
// the same-name flag rule, the name dictionary's edge cases and the
// after-compile decision.
#include <gtest/gtest.h>

#include <cstring>

#include "Patches/Compiler/UnitNameDictionary.h"
#include "Patches/Compiler/UnitNameHash.h"
#include "StandInCompiler.h"

using Quillmend::TDccUnit;

namespace {

const StandIn::TDriver& D() { return StandIn::Driver(); }
TDccUnit* Unit(const char* name, uint32_t serial, int state = 8, int flags = 0) {
  return D().NewUnit(name, serial, state, flags, 1);
}
uint32_t Rebuilds() { return Quillmend::UnitNameDictionary.RebuildCount; }

struct TScenario {
  TDccUnit *System, *A, *B, *C, *E, *F, *LowerC, *SecondB, *Record;
};

// A (source changed) is imported by B (compiled), B by C (loaded, flagged)
// and by a record of the first further list; E (state 6) imports A too.
// "c" is flagged and named like C; the second "B" is flagged but its unit
// symbol differs from B's in byte 2.
TScenario BuildScenario() {
  TScenario s;
  s.System = Unit("System", 0);
  s.A = Unit("A", 1, 2);
  s.B = Unit("B", 2, 7);
  D().Import(s.B, "A");
  s.C = Unit("C", 3, 8, 0x6000);
  D().Import(s.C, "B");
  s.E = Unit("E", 4, 6);
  D().Import(s.E, "A");
  s.F = Unit("F", 5, 8);
  D().Import(s.F, "System");
  s.LowerC = Unit("c", 6, 8, 0x6000);
  s.SecondB = Unit("B", 10, 8, 0x6000);
  s.Record = D().NewRecord(1, "R", 20, 7);
  D().Import(s.Record, "C");
  return s;
}

void ExpectResetOutcome(const TScenario& s) {
  EXPECT_EQ(D().UnitCount(), 7);
  EXPECT_EQ(D().UnitFind("A"), nullptr);
  // Transitively: B and C drop from compiled states to 4, so does the record.
  EXPECT_EQ(s.B->State, 4);
  EXPECT_EQ(s.C->State, 4);
  EXPECT_EQ(s.Record->State, 4);
  EXPECT_EQ(s.B->Imports->Unit, nullptr);
  EXPECT_EQ(s.B->Imports->Flags & 1, 1);
  EXPECT_EQ(s.C->Imports->Unit, nullptr);
  EXPECT_EQ(s.Record->Imports->Unit, nullptr);
  // E is in another state: it keeps it and loses the link.
  EXPECT_EQ(s.E->State, 6);
  EXPECT_EQ(s.E->Imports->Unit, nullptr);
  EXPECT_EQ(s.E->Imports->Flags & 1, 1);
  EXPECT_EQ(s.F->State, 8);
  EXPECT_EQ(s.F->Imports->Unit, s.System);
  // C itself and "c" had a same-named unit marked: 0x4000 goes; the second
  // "B" differs in byte 2 of its unit symbol and keeps it.
  EXPECT_EQ(s.C->Flags, 0x2000);
  EXPECT_EQ(s.LowerC->Flags, 0x2000);
  EXPECT_EQ(s.SecondB->Flags, 0x6000);
  EXPECT_EQ(s.SecondB->State, 8);
}

} // namespace

TEST(UnitList, ResetMarksImportersTransitivelyWithAndWithoutThePack) {
  StandIn::Load();
  ExpectResetOutcome([] {
    TScenario s = BuildScenario();
    D().Reset();
    return s;
  }());
  D().FreeAll();
  StandIn::Install();
  TScenario s = BuildScenario();
  D().Reset();
  ExpectResetOutcome(s);
}

TEST(UnitList, EmptyListLooksUpNothingAndResetsNothing) {
  StandIn::Load();
  StandIn::Install();
  EXPECT_EQ(D().UnitFind("System"), nullptr);
  D().Reset();
  D().FreeAll();
  TDccUnit* record = D().NewRecord(1, "Lone", 1, 7);
  D().UnlinkImports(record);
  EXPECT_EQ(D().UnitCount(), 0);
  EXPECT_EQ(record->State, 7);
}

TEST(UnitNameDictionary, FirstUnitOfANameInListOrderWins) {
  StandIn::Load();
  StandIn::Install();
  TDccUnit* first = Unit("Dup.Unit", 1);
  Unit("Other", 2);
  TDccUnit* second = Unit("DUP.unit", 3);
  EXPECT_EQ(D().UnitFind("dup.UNIT"), first);
  // Once the first has left the list, the next of the name answers, also
  // after the first comes back behind it.
  D().UnitRemove(first);
  EXPECT_EQ(D().UnitFind("Dup.Unit"), second);
  D().UnitAppend(first);
  EXPECT_EQ(D().UnitFind("Dup.Unit"), second);
}

TEST(UnitNameDictionary, RemovingAndAppendingOneUnitKeepsItValid) {
  StandIn::Load();
  StandIn::Install();
  Unit("A", 1);
  TDccUnit* b = Unit("B", 2);
  TDccUnit* c = Unit("C", 3);
  EXPECT_EQ(D().UnitFind("B"), b);
  uint32_t builds = Rebuilds();
  D().UnitRemove(b);
  D().UnitAppend(b);
  EXPECT_EQ(D().UnitFind("B"), b);
  EXPECT_EQ(D().UnitFind("C"), c);
  EXPECT_EQ(Rebuilds(), builds);
}

TEST(UnitNameDictionary, RemovingTwoUnitsRebuildsAtTheNextLookup) {
  StandIn::Load();
  StandIn::Install();
  TDccUnit* a = Unit("A", 1);
  TDccUnit* b = Unit("B", 2);
  TDccUnit* c = Unit("C", 3);
  EXPECT_EQ(D().UnitFind("C"), c);
  uint32_t builds = Rebuilds();
  D().UnitRemove(b);
  D().UnitRemove(c);
  EXPECT_EQ(D().UnitFind("B"), nullptr);
  EXPECT_EQ(D().UnitFind("C"), nullptr);
  EXPECT_EQ(D().UnitFind("A"), a);
  EXPECT_EQ(Rebuilds(), builds + 1);
}

TEST(UnitNameDictionary, CoreUnitWhileStaleIsFoundByTheListWithoutRebuild) {
  StandIn::Load();
  StandIn::Install();
  TDccUnit* system = Unit("System", 0);
  TDccUnit* a = Unit("A", 1);
  TDccUnit* b = Unit("B", 2);
  TDccUnit* c = Unit("C", 3);
  EXPECT_EQ(D().UnitFind("A"), a);
  uint32_t builds = Rebuilds();
  D().UnitRemove(b);
  D().UnitRemove(c);
  EXPECT_EQ(D().UnitFind("SYSTEM"), system);
  EXPECT_EQ(Rebuilds(), builds);
  EXPECT_EQ(D().UnitFind("A"), a);
  EXPECT_EQ(Rebuilds(), builds + 1);
}

TEST(UnitNameDictionary, UnitWithoutSymbolWhenAppendedIsFoundOnceNamed) {
  StandIn::Load();
  StandIn::Install();
  TDccUnit* a = Unit("A", 1);
  EXPECT_EQ(D().UnitFind("A"), a);
  TDccUnit* late = D().NewUnit("Late", 2, 8, 0, 0);
  TDccUnit* early = D().NewUnit("Twin", 3, 8, 0, 0);
  EXPECT_EQ(D().UnitFind("Late"), nullptr);
  TDccUnit* twin = Unit("Twin", 4);
  EXPECT_EQ(D().UnitFind("Twin"), twin);
  D().GiveSymbols(late);
  D().GiveSymbols(early);
  EXPECT_EQ(D().UnitFind("Late"), late);
  // Named now, the earlier "Twin" comes first in list order.
  EXPECT_EQ(D().UnitFind("Twin"), early);
}

TEST(UnitNameDictionary, RemovedUnitIsNotReturnedWhenItsRecordComesBackRenamed) {
  StandIn::Load();
  StandIn::Install();
  Unit("A", 1);
  TDccUnit* b = Unit("B", 2);
  EXPECT_EQ(D().UnitFind("B"), b);
  uint32_t builds = Rebuilds();
  // The compiler removes and releases B; the record's memory is then reused
  // for a unit of another name appended at once.
  D().UnitRemove(b);
  Quillmend::NotifyUnitReleased(b);
  std::strcpy(b->UnitSymbol->Name, "Z");
  D().UnitAppend(b);
  EXPECT_EQ(D().UnitFind("B"), nullptr);
  EXPECT_EQ(D().UnitFind("Z"), b);
  EXPECT_EQ(Rebuilds(), builds);
}

TEST(UnitNameDictionary, ChainAppendedToEmptyAndNonEmptyList) {
  StandIn::Load();
  StandIn::Install();
  const char* const first[] = {"P1", "P2"};
  TDccUnit* p1 = D().AppendChain(first, 2, 10);
  EXPECT_EQ(D().UnitFind("P2"), p1->Next);
  EXPECT_EQ(D().UnitFind("P1"), p1);
  uint32_t builds = Rebuilds();
  const char* const second[] = {"Q1", "Q2"};
  TDccUnit* q1 = D().AppendChain(second, 2, 20);
  EXPECT_EQ(D().UnitFind("Q2"), q1->Next);
  EXPECT_EQ(q1->Next->Next, nullptr);
  EXPECT_EQ(Rebuilds(), builds);
}

TEST(UnitNameDictionary, NamesHashAlikeInBothCasesAlsoBeyondASCII) {
  using Quillmend::UnitNameHash;
  Quillmend::InitUnitNameHashWeights();
  EXPECT_EQ(UnitNameHash("Vcl.Forms_2"), UnitNameHash("VCL.FORMS_2"));
  EXPECT_EQ(UnitNameHash("Proj.\xC3\x9Cnit"), UnitNameHash("proj.\xC3\xBCnit"));
  EXPECT_EQ(UnitNameHash("ABCDEFGHIJ\xC3\x84x"), UnitNameHash("abcdefghij\xC3\xA4X"));
  // The compiler compares non-ASCII bytes exactly, and so does the dictionary.
  StandIn::Load();
  StandIn::Install();
  TDccUnit* u = Unit("Proj.\xC3\x9Cnit", 1);
  EXPECT_EQ(D().UnitFind("PROJ.\xC3\x9CNIT"), u);
  EXPECT_EQ(D().UnitFind("proj.\xC3\xBCnit"), nullptr);
}

TEST(AfterCompile, EmptyOptionStringNoLongerDiscardsTheUnits) {
  static char empty[] = "", platform[] = "Win32", x1[] = "X", x2[] = "X", y[] = "Y";
  StandIn::Load();
  D().SetOption(0, empty);
  D().SetOption(1, nullptr);
  D().SetOption(4, platform);
  D().SetOption(5, platform);
  Unit("A", 1);
  EXPECT_EQ(D().AfterCompile(0, 0), 1);
  EXPECT_EQ(D().UnitCount(), 0);

  StandIn::Install();
  Unit("A", 1);
  EXPECT_EQ(D().AfterCompile(0, 0), 0);
  EXPECT_EQ(D().UnitCount(), 1);
  // With the compiler's flag set an empty string is a value of its own.
  EXPECT_EQ(D().AfterCompile(0, 1), 1);
  EXPECT_EQ(D().UnitCount(), 0);
  Unit("A", 1);
  D().SetOption(0, x1);
  D().SetOption(1, x2);
  EXPECT_EQ(D().AfterCompile(0, 0), 0);
  EXPECT_EQ(D().AfterCompile(1, 1), 1);
  Unit("A", 1);
  D().SetOption(1, y);
  EXPECT_EQ(D().AfterCompile(0, 0), 1);
  EXPECT_EQ(D().UnitCount(), 0);
}

TEST(UnitNameDictionary, TextNamesResolveAliasesThenFindTheUnit) {
  StandIn::Load();
  StandIn::Install();
  D().LoadProject(100, 5, 3);
  TDccUnit* aliased = D().UnitFind("Proj.Unit00007");
  ASSERT_NE(aliased, nullptr);
  EXPECT_EQ(Quillmend::FindUnitByTextName(L"Alias.Unit00007"), aliased);
  EXPECT_EQ(Quillmend::FindUnitByTextName(L"proj.UNIT00010"), D().UnitFind("Proj.Unit00010"));
  EXPECT_EQ(Quillmend::FindUnitByTextName(L"Proj.Missing"), nullptr);
}
