// "Compiler.DbkGetFileIndex" against the stand-in compiler's file table:
// three ways, its patterns once at their sites (each searched from the one
// before), the lookup's rule pinned on a hand-made table, the answers of
// the host's own lookup on generated tables (equal names, ties, misses,
// entries added after lookups, arrays moved by growth and freed ones whose
// memory comes again), and the lock given back when the host raises.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>
#include <windows.h>

#include "Common/HostGuard.h"
#include "Framework/PatchRegistry.h"
#include "Hooking/PatternSearch.h"
#include "Hooking/StringHash.h"
#include "Hooking/TextCompare.h"
#include "Patches/Compiler/CompilerDbgGetFileIndexOptimization.h"
#include "DccStandIn.h"
#include "TestPaths.h"
#include "ThreeWayHarness.h"
#include "dcc150/DccFileTableDriver.h"

namespace {

using namespace DccFileTableDriver;
namespace Patterns = Quillmend::DbgFileIndexPatterns;

const wchar_t* const FileIndex = L"Compiler.DbkGetFileIndex";

uint32_t Next(uint32_t& seed, uint32_t range) {
  seed = seed * 1103515245u + 12345u;
  return (seed >> 8) % range;
}

std::string WithCase(std::string text, uint32_t how) {
  for (char& c : text) {
    if (how == 1 && c >= 'a' && c <= 'z') c = char(c - 32);
    if (how == 2 && c >= 'A' && c <= 'Z') c = char(c + 32);
  }
  return text;
}

// A generated run: a few tables; entries added (names repeated in other
// directories and cases, non-ASCII ones differing only in case, relative
// texts, own indexes), lookups in between, now and then a table freed and
// a new one made. The answers in order.
std::string Session(uint32_t seed, int steps, bool* arrayMoved = nullptr) {
  static const char* const stems[] = {"Unit", "Main", "Forms", "\xC3\x84pfel", "\xC3\xA4pfel", "Data"};
  static const char* const exts[] = {".pas", ".PAS", ".inc"};
  static const char* const dirs[] = {"C:\\Proj\\", "C:\\Proj\\Sub\\", "D:\\Lib\\Sub\\", "c:\\proj\\", ""};
  auto newTable = DccExport<NewFn>(Export::New);
  auto deleteTable = DccExport<DeleteFn>(Export::Delete);
  auto setDirectory = DccExport<SetDirectoryFn>(Export::SetDirectory);
  auto addName = DccExport<AddNameFn>(Export::AddName);
  auto index = DccExport<IndexFn>(Export::Index);
  auto fullName = DccExport<FullNameFn>(Export::FullName);
  DccExport<ResetFn>(Export::Reset)();
  std::vector<TFileTable*> tables = {newTable(), newTable(), newTable()};
  std::string answers;
  for (int step = 0; step < steps; ++step) {
    TFileTable* table = tables[Next(seed, 3)];
    const uint32_t what = Next(seed, 100);
    if (what < 55) {
      const std::string name = std::string(stems[Next(seed, 6)]) + std::to_string(Next(seed, 6)) + exts[Next(seed, 3)];
      setDirectory(table, dirs[Next(seed, 5)]);
      const std::string text = Next(seed, 5) == 0 ? "Sub\\" + name : name;
      const uint32_t kind = Next(seed, 4);
      const uint8_t* before = table->Entries;
      addName(table, text.c_str(), kind == 0 ? int32_t(Next(seed, 500)) + 1 : kind == 1 ? -1 : 0);
      if (arrayMoved && before && table->Entries != before) *arrayMoved = true;
    } else if (what < 95) {
      std::string path;
      const uint32_t form = Next(seed, 6);
      if (table->Count > 0 && form < 3) {
        // An entry's own full name, in another case now and then.
        const std::string full = fullName(reinterpret_cast<TFileEntry*>(table->Entries + 24 * Next(seed, uint32_t(table->Count))));
        path = WithCase(full, Next(seed, 3));
      } else if (form == 3) {
        path = std::string("E:\\Else\\") + (Next(seed, 2) ? "Sub\\" : "") + stems[Next(seed, 6)] +
               std::to_string(Next(seed, 6)) + exts[Next(seed, 3)];
      } else if (form == 4) {
        path = std::string(stems[Next(seed, 6)]) + std::to_string(Next(seed, 6)) + ".pas";
      } else {
        path = Next(seed, 4) ? "C:\\Proj\\Missing" + std::to_string(Next(seed, 9)) + ".pas" : "";
      }
      answers += std::to_string(index(table, path.c_str())) + " ";
    } else {
      const uint32_t which = Next(seed, 3);
      deleteTable(tables[which]);
      tables[which] = newTable();
      answers += "| ";
    }
  }
  for (TFileTable* table : tables) deleteTable(table);
  DccExport<ResetFn>(Export::Reset)();
  return answers;
}

const std::vector<TPatchRow> PatchRows = {{FileIndex, {}}};
const std::vector<TVariantRow> VariantRows = {{"filetablefree", {FileIndex}},
                                              {"filetableadd", {FileIndex}},
                                              {"fileindex", {FileIndex}},
                                              {"fileindexname", {FileIndex}}};

const TThreeWaySubsystem& FileTables() {
  static const TThreeWaySubsystem subsystem{
      {L"dcc150.dll"}, nullptr, [] { Quillmend::InstallCompilerDbgGetFileIndexOptimization(); },
      [] { return Session(11, 400); }, {FileIndex},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(DbkGetFileIndex, FileTables(), PatchRows, VariantRows)

class DbkGetFileIndexBehaviour : public TDccPatchBehaviour {
protected:
  static void Install() { InstallApplied(&Quillmend::InstallCompilerDbgGetFileIndexOptimization, FileIndex); }
};

} // namespace

TEST_F(DbkGetFileIndexBehaviour, ThePatternsAreFoundOnceEachFromTheOneBefore) {
  struct TStep {
    const char* Site;
    const char* Pattern;
    int32_t Window;  // from the site before
  };
  const TStep steps[] = {{"FileTableFree", Patterns::FreeTable, 0},
                         {"FileTableAdd", Patterns::AddEntry, Patterns::AddEntryWindow},
                         {"FileIndex", Patterns::FileIndex, Patterns::FileIndexWindow},
                         {"FileIndexFullName", Patterns::FullNameCall, Patterns::FullNameCallWindow}};
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  uint8_t* before = nullptr;
  for (const TStep& step : steps) {
    SCOPED_TRACE(step.Site);
    const Quillmend::TBytePattern pattern = Quillmend::ParsePattern(step.Pattern);
    auto* found = static_cast<uint8_t*>(before ? Quillmend::FindMethodPtr(before, pattern, step.Window)
                                               : Quillmend::FindMethodPtr(dcc, pattern, Patterns::FreeTableSize));
    ASSERT_EQ(found, Site(step.Site));
    if (before) {
      EXPECT_LT(found - before, step.Window);
    }
    EXPECT_EQ(Quillmend::FindMethodPtr(dcc, pattern, 0), found);
    EXPECT_EQ(Quillmend::FindMethodPtr(found + 1, pattern, 0), nullptr);
    before = found;
  }
  uint8_t* call = before + Patterns::FullNameCallOffset;
  EXPECT_EQ(call + 5 + *reinterpret_cast<int32_t*>(call + 1), DccExport<uint8_t*>(Export::FullName));
}

// The host's rule on a small table, and the same answers patched: the
// path itself wins (the first of equal ones), else the first of the
// longest shared tail, an entry's own index or its position, 0 for none.
TEST_F(DbkGetFileIndexBehaviour, TheLookupsRuleOnAHandMadeTable) {
  struct TEntry {
    const char* Directory;
    const char* Text;
    int32_t Index;
  };
  const TEntry entries[] = {
      {"C:\\A\\Sub\\", "Unit1.pas", 0},        // 1
      {"C:\\B\\Sub\\", "Unit1.pas", 70},       // 2 → 70
      {"C:\\A\\", "Sub\\Unit1.pas", -5},       // 3: the same full name as 1
      {"C:\\A\\", "Main.pas", 0},              // 4
      {"D:\\X\\", "\xC3\xA4pfel.pas", 0},      // 5
      {"D:\\Y\\", "Unit2.pas", 9},             // 6 → 9
      {"", "Unit2.pas", 0},                    // 7: no directory
      {"E:\\Q\\", "x\xC3\xA4.pas", 0},         // 8
      {"D:\\X\\", "\xC3\xA4", 0},              // 9: a name ending in a non-ASCII letter
  };
  struct TQuery {
    const char* Path;
    int32_t Expected;
  };
  const TQuery queries[] = {
      {"C:\\A\\Sub\\Unit1.pas", 1},            // itself, before its twin 3
      {"c:\\a\\sub\\UNIT1.PAS", 1},            // itself in another case
      {"C:\\B\\Sub\\Unit1.pas", 70},           // its own index
      {"Z:\\Q\\Sub\\Unit1.pas", 1},            // a tie of three: the first
      {"Z:\\B\\Sub\\Unit1.pas", 70},           // the longest tail
      {"Unit1.pas", 1},                        // the name alone: a tie
      {"C:\\A\\Unit3.pas", 0},                 // no such name
      {"C:\\A\\Main.pas.bak", 0},              // nor this one
      {"", 0},                                 // nothing
      {"D:\\X\\\xC3\x84PFEL.pas", 5},          // itself, ignoring the case of non-ASCII letters too
      {"Q:\\\xC3\x84pfel.pas", 5},             // the same name: its tail up to the letter
      {"D:\\X\\\xC3\x84", 9},                 // itself
      {"Q:\\\xC3\x84", 0},                      // the same name, but no tail in common
      {"Unit2.pas", 7},                        // itself beats a longer full name
      {"W:\\Y\\Unit2.pas", 9},
      {"E:\\Q\\X\xC3\x84.pas", 8},             // itself
      {"F:\\Q\\X\xC3\x84.PAS", 8},             // the tail stops at the non-ASCII letter
  };
  auto run = [&] {
    DccExport<ResetFn>(Export::Reset)();
    TFileTable* table = DccExport<NewFn>(Export::New)();
    for (const TEntry& entry : entries) {
      DccExport<SetDirectoryFn>(Export::SetDirectory)(table, entry.Directory);
      DccExport<AddNameFn>(Export::AddName)(table, entry.Text, entry.Index);
    }
    std::vector<int32_t> answers;
    for (const TQuery& query : queries) answers.push_back(DccExport<IndexFn>(Export::Index)(table, query.Path));
    DccExport<DeleteFn>(Export::Delete)(table);
    return answers;
  };
  const std::vector<int32_t> host = run();
  Install();
  const std::vector<int32_t> patched = run();
  for (size_t i = 0; i < std::size(queries); ++i) {
    SCOPED_TRACE(queries[i].Path);
    EXPECT_EQ(host[i], queries[i].Expected);
    EXPECT_EQ(patched[i], queries[i].Expected);
  }
  EXPECT_EQ(Quillmend::DbgFileIndexesLive(), 0);
}

// Generated runs: the same answers as the host's own lookup; arrays moved
// while an index was held (the runs grow tables past 16 entries); freed
// tables leave no index behind.
TEST_F(DbkGetFileIndexBehaviour, GeneratedRunsAnswerAsTheHost) {
  struct TRow {
    uint32_t Seed;
    int Steps;
  };
  const TRow rows[] = {{1, 50}, {2, 300}, {3, 1500}, {4, 3000}, {5, 800}, {6, 2000}};
  std::vector<std::string> host;
  bool moved = false;
  for (const TRow& row : rows) host.push_back(Session(row.Seed, row.Steps, &moved));
  EXPECT_TRUE(moved);
  Install();
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].Seed);
    EXPECT_EQ(Session(rows[i].Seed, rows[i].Steps), host[i]);
    EXPECT_EQ(Quillmend::DbgFileIndexesLive(), 0);
  }
}

// A freed table's array memory taken by the next table at once: the new
// table's entries are found, not the old ones'.
TEST_F(DbkGetFileIndexBehaviour, AFreedArraysMemoryReused) {
  Install();
  auto newTable = DccExport<NewFn>(Export::New);
  auto addName = DccExport<AddNameFn>(Export::AddName);
  auto index = DccExport<IndexFn>(Export::Index);
  DccExport<ResetFn>(Export::Reset)();
  TFileTable* first = newTable();
  for (int i = 0; i < 10; ++i) addName(first, ("Old" + std::to_string(i) + ".pas").c_str(), 100 + i);
  EXPECT_EQ(index(first, "Old3.pas"), 103);
  const uint8_t* array = first->Entries;
  DccExport<FreeFn>(Export::Free)(first);
  EXPECT_EQ(Quillmend::DbgFileIndexesLive(), 0);
  EXPECT_EQ(index(first, "Old3.pas"), 0);
  // The same table record again, its array most likely where the old one was.
  for (int i = 0; i < 10; ++i) addName(first, ("New" + std::to_string(i) + ".pas").c_str(), 200 + i);
  if (first->Entries != array) GTEST_LOG_(INFO) << "the heap gave another address";
  EXPECT_EQ(index(first, "Old3.pas"), 0);
  EXPECT_EQ(index(first, "New3.pas"), 203);
  DccExport<DeleteFn>(Export::Delete)(first);
  DccExport<ResetFn>(Export::Reset)();
}

// The host's full-name routine raising inside a lookup: the lock is given
// back (another thread looks up at once), and the lookup after it answers.
TEST_F(DbkGetFileIndexBehaviour, TheLockIsGivenBackWhenTheHostRaises) {
  Install();
  DccExport<ResetFn>(Export::Reset)();
  static TFileTable* table = DccExport<NewFn>(Export::New)();
  DccExport<SetDirectoryFn>(Export::SetDirectory)(table, "C:\\P\\");
  for (int i = 0; i < 30; ++i) DccExport<AddNameFn>(Export::AddName)(table, ("U" + std::to_string(i % 10) + ".pas").c_str(), 0);
  DccExport<RaiseAfterFn>(Export::RaiseAfter)(2);
  QmHost::HostExceptionReport report;
  EXPECT_FALSE(QmHost::CallHostGuarded([&] { DccExport<IndexFn>(Export::Index)(table, "Z:\\U4.pas"); }, report));
  EXPECT_EQ(report.code, 0x0EEDFADEu);
  struct TOther {
    static DWORD WINAPI Lookup(void* answer) {
      *static_cast<int32_t*>(answer) = DccExport<IndexFn>(Export::Index)(table, "C:\\P\\U4.pas");
      return 0;
    }
  };
  int32_t fromThread = -1;
  HANDLE thread = CreateThread(nullptr, 0, &TOther::Lookup, &fromThread, 0, nullptr);
  // A lock left held would keep the thread waiting for good.
  ASSERT_EQ(WaitForSingleObject(thread, 20000), WAIT_OBJECT_0);
  CloseHandle(thread);
  EXPECT_EQ(fromThread, 5);
  EXPECT_EQ(DccExport<IndexFn>(Export::Index)(table, "X:\\U7.pas"), 8);
  DccExport<DeleteFn>(Export::Delete)(table);
  DccExport<ResetFn>(Export::Reset)();
}

// What the index relies on: names the library's comparison finds equal
// share both keys, so they land in one group.
TEST(DbgFileNameKeys, EqualNamesShareTheirKeys) {
  struct TPair {
    const char* A;
    const char* B;
    bool Equal;
  };
  const TPair pairs[] = {
      {"Unit1.pas", "UNIT1.PAS", true},
      {"\xC3\x84pfel.pas", "\xC3\xA4PFEL.pas", true},  // non-ASCII letters differing in case
      {"x\xC3\x84", "X\xC3\xA4", true},
      {"", "", true},
      {"Unit1.pas", "Unit2.pas", false},
      {"Unit10.pas", "Unit01.pas", false},
      {"a.pas", "\xC3\xA4.pas", false},                 // ASCII against non-ASCII
  };
  for (const TPair& pair : pairs) {
    SCOPED_TRACE(std::string(pair.A) + " / " + pair.B);
    ASSERT_EQ(Quillmend::Utf8CompareText(pair.A, pair.B) == 0, pair.Equal);
    if (pair.Equal) {
      EXPECT_EQ(Quillmend::Utf8HashText(pair.A), Quillmend::Utf8HashText(pair.B));
      EXPECT_EQ(Quillmend::NameCheck(pair.A), Quillmend::NameCheck(pair.B));
    } else if ((Quillmend::NameCheck(pair.A) | Quillmend::NameCheck(pair.B)) & 1) {
      EXPECT_NE(Quillmend::NameCheck(pair.A), Quillmend::NameCheck(pair.B));
    }
  }
}
