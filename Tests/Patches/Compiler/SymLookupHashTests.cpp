// The symbol lookup tables: built from hand-made unit records (which symbols
// take part, in which order same-named ones come, when no table is built),
// and in the stand-in compiler (a reused unit record, the reset at a
// command-line compile, the reused name buffer of the outer lookup).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "Hooking/StringHash.h"
#include "Patches/Compiler/CompilerOptimizationGetUnitOf.h"
#include "Patches/Compiler/SymLookupHash.h"
#include "StandInCompiler.h"

using Quillmend::TDccSymbol;
using Quillmend::TDccUnit;

namespace {

int32_t QM_REGISTER CompareIgnoringAsciiCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    int x = (*a >= 'a' && *a <= 'z') ? *a - 32 : *a, y = (*b >= 'a' && *b <= 'z') ? *b - 32 : *b;
    if (x != y || !x) return x - y;
  }
}

// A unit record in test memory; symbols go to the head of the chain given.
struct THandMadeUnit {
  std::unique_ptr<TDccUnit> Unit = std::make_unique<TDccUnit>();
  std::vector<std::unique_ptr<uint8_t[]>> Blocks;

  THandMadeUnit() { std::memset(Unit.get(), 0, sizeof(TDccUnit)); }
  TDccSymbol* Add(const char* name, uint8_t chain, uint8_t kind = 0x05, uint8_t flags = 0x40) {
    Blocks.push_back(std::make_unique<uint8_t[]>(0x1E + std::strlen(name) + 1));
    auto* symbol = reinterpret_cast<TDccSymbol*>(Blocks.back().get());
    std::memset(symbol, 0, 0x1E);
    symbol->Kind = kind;
    symbol->Flags = flags;
    std::strcpy(symbol->Name, name);
    symbol->Next = Unit->SymbolChains[chain];
    Unit->SymbolChains[chain] = symbol;
    return symbol;
  }
};

class SymLookupTable : public testing::Test {
protected:
  void SetUp() override {
    Quillmend::SymbolNameCompare = &CompareIgnoringAsciiCase;
    Quillmend::UnitSymbolTables = new Quillmend::TPointerHashTable(16);
    Quillmend::LastLookupName = nullptr;
  }
  void TearDown() override { Quillmend::FinalizeSymLookupHash(); }
  TDccSymbol* Lookup(const char* name, uint8_t chain, TDccUnit* unit) {
    Quillmend::LastLookupName = nullptr;  // as every outer lookup begins
    return Quillmend::LookupSymbol(name, chain, unit);
  }
};

TEST_F(SymLookupTable, NoQualifyingSymbolsGiveAnEmptyTable) {
  THandMadeUnit u;
  u.Add("Hidden", 3, 0x05, 0x00);
  u.Add("Excluded", 3, 0x19, 0x40);
  std::unique_ptr<Quillmend::TUnitSymbolHashTable> table(Quillmend::BuildUnitSymbolTable(u.Unit.get()));
  EXPECT_EQ(table->Count, 0);
  EXPECT_EQ(table->BucketCount, 1u);
  EXPECT_EQ(Lookup("Hidden", 3, u.Unit.get()), nullptr);
  EXPECT_EQ(Lookup("Excluded", 3, u.Unit.get()), nullptr);
}

// The bucket count is the number of qualifying symbols, made odd.
TEST_F(SymLookupTable, BucketsFollowTheQualifyingSymbols) {
  const struct {
    int Symbols;
    uint32_t Buckets;
  } cases[] = {{1, 1}, {2, 3}, {3, 3}, {8, 9}, {9, 9}};
  for (const auto& c : cases) {
    THandMadeUnit u;
    std::vector<std::string> names;
    for (int i = 0; i < c.Symbols; ++i) names.push_back("Name" + std::to_string(i));
    for (const std::string& name : names) u.Add(name.c_str(), uint8_t(names.size()));
    u.Add("NotIn", 7, 0x19);
    std::unique_ptr<Quillmend::TUnitSymbolHashTable> table(Quillmend::BuildUnitSymbolTable(u.Unit.get()));
    EXPECT_EQ(table->Count, c.Symbols);
    EXPECT_EQ(table->BucketCount, c.Buckets);
  }
}

// Same-named symbols come in the unit's chain order; those that take no part
// in lookups never come; the next after the last is null and leaves the
// place of the last one found.
TEST_F(SymLookupTable, SameNamedSymbolsInChainOrderExcludedOnesNever) {
  THandMadeUnit u;
  TDccSymbol* second = u.Add("Twin", 9);
  u.Add("Twin", 9, 0x19);        // excluded kind
  u.Add("Twin", 9, 0x05, 0x00);  // takes no part in lookups
  TDccSymbol* first = u.Add("twin", 9);
  u.Add("Other", 9);
  EXPECT_EQ(Lookup("TWIN", 9, u.Unit.get()), first);
  EXPECT_EQ(Quillmend::FindNextSymbol(), second);
  const Quillmend::TSymHashTableItem* last = Quillmend::LastFoundItem;
  EXPECT_EQ(Quillmend::FindNextSymbol(), nullptr);
  EXPECT_EQ(Quillmend::LastFoundItem, last);
  EXPECT_EQ(Lookup("Absent", 9, u.Unit.get()), nullptr);
}

TEST_F(SymLookupTable, AnEmptyHostChainBuildsNoTable) {
  THandMadeUnit u;
  u.Add("Declared", 1);
  EXPECT_EQ(Lookup("Declared", 2, u.Unit.get()), nullptr);
  EXPECT_EQ(Quillmend::UnitSymbolTables->Count(), 0);
  EXPECT_NE(Lookup("Declared", 1, u.Unit.get()), nullptr);
  EXPECT_EQ(Quillmend::UnitSymbolTables->Count(), 1);
}

// ---- in the stand-in compiler --------------------------------------------------------

const StandIn::TDriver& D() { return StandIn::Driver(); }
const StandIn::TVariables& V() { return StandIn::Variables(); }

void InstallIndexAndTables() {
  Quillmend::InstallGetUnitOf();
  Quillmend::InstallSymLookupHash();
  ASSERT_EQ(StandIn::PatchStatus(L"Compiler.SymLookup"), L"applied");
}

// The stand-in keeps a symbol's creation number at +0x14.
uint32_t CreationNumber(const TDccSymbol* symbol) {
  return *reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(symbol) + 0x14);
}

uint8_t HashByte(const char* name) {
  uint32_t h = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p)
    h = (h * 31 + ((*p >= 'a' && *p <= 'z') ? *p - 0x20 : *p)) & 0xFF;
  return uint8_t(h);
}

// A unit released and one made in its record's memory: the new unit's
// symbols answer, from a new table.
TEST(SymLookupInCompiler, AReusedRecordGetsANewTable) {
  StandIn::Load();
  InstallIndexAndTables();
  D().NewUnit("Before", 0, 8, 0, 1);  // the compiler's tables exist from now on
  TDccUnit* first = D().NewUnit("First", 1, 8, 0, 1);
  TDccSymbol* old = Quillmend::LookupSymbol("Item0", HashByte("Item0"), first);
  ASSERT_NE(old, nullptr);
  const uint32_t oldIndex = CreationNumber(old);
  ASSERT_EQ(Quillmend::UnitSymbolTables->Count(), 1);
  D().UnitRemove(first);
  D().FreeContext(D().UnitContext(first));
  EXPECT_EQ(Quillmend::UnitSymbolTables->Count(), 0);
  TDccUnit* second = D().NewUnit("Second", 2, 8, 0, 1);
  EXPECT_EQ(second, first);  // the record's memory is reused
  Quillmend::LastLookupName = nullptr;
  TDccSymbol* now = Quillmend::LookupSymbol("Item0", HashByte("Item0"), second);
  ASSERT_NE(now, nullptr);
  EXPECT_NE(CreationNumber(now), oldIndex);
  EXPECT_EQ(CreationNumber(now), 2u * 16);
}

TEST(SymLookupInCompiler, ACommandLineCompileDropsEveryTable) {
  StandIn::Load();
  InstallIndexAndTables();
  TDccUnit* unit = D().NewUnit("Compiled", 1, 8, 0, 1);
  ASSERT_NE(Quillmend::LookupSymbol("Item1", HashByte("Item1"), unit), nullptr);
  ASSERT_EQ(Quillmend::UnitSymbolTables->Count(), 1);
  using TCompile = int32_t(__stdcall*)(const char*);
  auto compile = reinterpret_cast<TCompile>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"dcc150.dll"), "CompilerCompileCmdLine")));
  compile("dcc32 Project.dpr");
  EXPECT_EQ(Quillmend::UnitSymbolTables->Count(), 0);
}

// The outer lookup gets the same name buffer with another name each time:
// the name's hash is taken again at every outer lookup.
TEST(SymLookupInCompiler, TheReusedNameBufferIsHashedAgain) {
  StandIn::Load();
  InstallIndexAndTables();
  TDccUnit* units[2] = {D().NewUnit("ScopeA", 1, 8, 0, 1), D().NewUnit("ScopeB", 2, 8, 0, 1)};
  *V().ScopeOwner = nullptr;
  V().ScopeUnits[0] = units[0];
  V().ScopeUnits[1] = units[1];
  *V().ScopeCount = 2;
  char buffer[32];
  // Item0, Item1 and Item4 take part in lookups; the scope's first unit answers.
  for (const char* name : {"Item0", "Item4", "item1", "Item2", "Item0"}) {
    std::strcpy(buffer, name);
    uint8_t byScope = 0;
    TDccSymbol* symbol = D().ScopeLookup(HashByte(buffer), buffer, &byScope);
    SCOPED_TRACE(name);
    if (std::strcmp(name, "Item2") == 0) {
      EXPECT_EQ(symbol, nullptr);
      continue;
    }
    ASSERT_NE(symbol, nullptr);
    EXPECT_EQ(CompareIgnoringAsciiCase(symbol->Name, name), 0);
    EXPECT_EQ(byScope, 1);
  }
  *V().ScopeCount = 0;
}

}  // namespace
