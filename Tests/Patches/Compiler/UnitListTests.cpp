// The unit-list bookkeeping on hand-made unit graphs: transitive unlinking,
// the same-name flag rule, the name dictionary's edge cases and the
// after-compile decision.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

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
  TDccUnit *System, *A, *B, *C, *E, *F, *LowerC, *SecondB, *Record, *HalfFlaggedC;
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
  s.HalfFlaggedC = Unit("C", 11, 8, 0x4000);
  s.Record = D().NewRecord(1, "R", 20, 7);
  D().Import(s.Record, "C");
  return s;
}

void ExpectResetOutcome(const TScenario& s) {
  EXPECT_EQ(D().UnitCount(), 8);
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
  // The rule needs both bits: a unit flagged 0x4000 alone keeps its flag.
  EXPECT_EQ(s.HalfFlaggedC->Flags, 0x4000);
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

// ---- the list routines against the compiler's own ---------------------------------

namespace {

template <class T>
T DccExport(const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"dcc150.dll"), name)));
}

// Runs a script of list operations and writes down, after every step, what
// it returned, the list in order, head and tail (units by creation index,
// -1 for none). Lookups happen only where the script says, since a lookup
// brings the dictionary up to date and would hide a stale entry.
//   new NAME | chain NAME NAME | remove I | append I | find NAME |
//   unlink I (off the list without the remove routine) |
//   release I (the compiler reports record I freed) | rename I NAME
std::string RunScript(const std::vector<std::string>& script, bool patched) {
  TDccUnit** head = DccExport<TDccUnit**>("DccUnitListHead");
  TDccUnit** tail = DccExport<TDccUnit**>("DccUnitListTail");
  std::vector<TDccUnit*> units;
  auto index = [&](TDccUnit* u) {
    for (size_t i = 0; i < units.size(); ++i)
      if (units[i] == u) return int(i);
    return u ? 999 : -1;
  };
  std::string trace;
  for (const std::string& step : script) {
    std::istringstream words(step);
    std::string op, a, b;
    words >> op >> a >> b;
    long result = 0;
    if (op == "new") {
      units.push_back(D().NewUnit(a.c_str(), uint32_t(units.size()), 8, 0, 1));
    } else if (op == "chain") {
      const char* names[] = {a.c_str(), b.c_str()};
      TDccUnit* first = D().AppendChain(names, 2, uint32_t(units.size()));
      units.push_back(first);
      units.push_back(first->Next);
    } else if (op == "remove") {
      result = D().UnitRemove(units[size_t(std::stoi(a))]);
    } else if (op == "append") {
      D().UnitAppend(units[size_t(std::stoi(a))]);
    } else if (op == "find") {
      result = index(D().UnitFind(a.c_str()));
    } else if (op == "unlink") {
      // The compiler takes the unit off its list on a path of its own.
      TDccUnit* unit = units[size_t(std::stoi(a))];
      TDccUnit** link = head;
      TDccUnit* before = nullptr;
      while (*link != unit) {
        before = *link;
        link = &(*link)->Next;
      }
      *link = unit->Next;
      if (*tail == unit) *tail = before;
    } else if (op == "release") {
      if (patched) Quillmend::NotifyUnitReleased(units[size_t(std::stoi(a))]);
    } else if (op == "rename") {
      // The reused record gets the new name and the compiler's hash byte of it.
      TDccUnit* unit = units[size_t(std::stoi(a))];
      std::strcpy(unit->UnitSymbol->Name, b.c_str());
      unit->NameHash = D().NewRecord(1, b.c_str(), 999, 8)->NameHash;
    }
    trace += step + " -> " + std::to_string(result) + " [";
    for (TDccUnit* u = *head; u; u = u->Next) trace += std::to_string(index(u)) + " ";
    trace += "] head " + std::to_string(index(*head)) + " tail " + std::to_string(index(*tail)) + "\n";
  }
  D().FreeAll();
  return trace;
}

const std::vector<std::vector<std::string>>& ListScripts() {
  static const std::vector<std::vector<std::string>> scripts = {
      // A duplicate-named unit (not the head) removed and appended again, no lookup between.
      {"new H", "new Dup", "new X", "new Dup", "find Dup", "remove 1", "append 1", "find Dup", "find X"},
      // The last unit removed while it is not the head: the tail moves.
      {"new A", "new B", "new C", "find C", "remove 2", "new D", "find D", "find C", "remove 1", "remove 0",
       "new E", "find E", "find A"},
      // Removing what is not on the list answers 0 and changes nothing.
      {"new A", "new B", "find A", "remove 1", "remove 1", "find B", "remove 0", "remove 0", "find A", "new C",
       "find C"},
      // Chains onto an empty and a non-empty list, then a chain unit moved.
      {"chain P1 P2", "find P2", "new A", "chain Q1 Q2", "find Q1", "remove 4", "find Q2", "append 4", "find Q2",
       "find P1"},
      // The head removed and appended again.
      {"new A", "new B", "find A", "remove 0", "find A", "find B", "append 0", "find A", "find B"},
      // A removed record released and reused under another name.
      {"new A", "new B", "find B", "remove 1", "release 1", "rename 1 Z", "append 1", "find B", "find Z", "find A"},
      // A record released without a remove the dictionary saw, then reused.
      {"new A", "new B", "find A", "unlink 1", "release 1", "rename 1 Z", "append 1", "find B", "find Z", "find A"},
      {"new A", "find A", "new B", "unlink 1", "release 1", "rename 1 A", "append 1", "find A", "new C", "find C"},
      {"new A", "new Dup", "new Dup", "find Dup", "unlink 1", "release 1", "append 1", "find Dup", "find A"},
      // Two different units removed, one appended again.
      {"new A", "new B", "new C", "find A", "remove 0", "remove 2", "append 2", "find C", "find A", "find B"},
  };
  return scripts;
}

}  // namespace

TEST(UnitList, ListRoutinesAnswerAsTheCompilersOwnAfterEveryStep) {
  StandIn::Load();
  std::vector<std::string> plain;
  for (const auto& script : ListScripts()) plain.push_back(RunScript(script, false));
  StandIn::Install();
  for (size_t i = 0; i < ListScripts().size(); ++i) EXPECT_EQ(RunScript(ListScripts()[i], true), plain[i]);
}

// After a CodeInsight compile: a compiled unit with one cut link drops to
// state 5 and loses its other links; units at 5 or below lose theirs;
// System and SysInit keep theirs whatever their state.
TEST(UnitList, CodeInsightResetAsTheCompilersOwn) {
  auto run = [] {
    TDccUnit* a = Unit("A", 1);
    TDccUnit* system = Unit("System", 2, 4);
    D().Import(system, "A");
    TDccUnit* sysInit = Unit("SysInit", 3, 8);
    D().Import(sysInit, "A");
    D().Import(sysInit, "System");
    sysInit->Imports->Unit = nullptr;
    TDccUnit* cut = Unit("Cut", 4, 8);
    D().Import(cut, "A");
    D().Import(cut, "System");
    cut->Imports->Next->Unit = nullptr;
    TDccUnit* whole = Unit("Whole", 5, 7);
    D().Import(whole, "A");
    TDccUnit* low = Unit("Low", 6, 4);
    D().Import(low, "A");
    DccExport<void (*)()>("DccKibitzUnitReset")();
    std::string state;
    for (TDccUnit* u : {a, system, sysInit, cut, whole, low}) {
      state += std::to_string(u->State) + ":";
      for (Quillmend::TDccImport* n = u->Imports; n; n = n->Next) state += n->Unit ? "L" : "-";
      state += " ";
    }
    D().FreeAll();
    return state;
  };
  StandIn::Load();
  const std::string plain = run();
  EXPECT_EQ(plain, "8: 4:L 8:-L 5:-- 7:L 4:- ");
  StandIn::Install();
  EXPECT_EQ(run(), plain);
}
