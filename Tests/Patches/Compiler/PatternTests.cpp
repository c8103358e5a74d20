// Every pattern of the unit-list patches is found exactly once in the
// stand-in compiler, at the routine it is meant for.
#include <gtest/gtest.h>

#include "Hooking/PatternSearch.h"
#include "Patches/Compiler/CompilerOptimizationPatterns.h"
#include "StandInCompiler.h"

namespace Patterns = Quillmend::CompilerOptimizationPatterns;

TEST(CompilerOptimizationPatterns, EachMatchesOnceAtItsRoutine) {
  HMODULE dcc = StandIn::Load();
  struct {
    const char* Pattern;
    const char* Site;
  } const cases[] = {
      {Patterns::NameCompare, "NameCompare"},       {Patterns::UnlinkImports, "UnlinkImports"},
      {Patterns::ResetUnits, "ResetUnits"},         {Patterns::KibitzUnitReset, "KibitzCompilerImplUnitReset"},
      {Patterns::UnitFreeAll1, "UnitFreeAll"},      {Patterns::UnitAppend, "Append"},
      {Patterns::UnitRemove, "Remove"},             {Patterns::UnitChainAppend, "ChainAppend"},
      {Patterns::UnitFind, "Find"},                 {Patterns::UnitAlias, "Alias"},
      {Patterns::NoUnitDiscard, "NoUnitDiscardAfterCompile"},
      {Patterns::SymLookupScope, "SymLookupScope"}, {Patterns::ImportedSymbol, "ImportedSymbol"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Site);
    Quillmend::TBytePattern pattern = Quillmend::ParsePattern(c.Pattern);
    auto* match = static_cast<uint8_t*>(Quillmend::FindMethodPtr(dcc, pattern, 0));
    EXPECT_EQ(match, StandIn::Driver().PatternSite(c.Site));
    if (match) {
      EXPECT_EQ(Quillmend::FindMethodPtr(match + 1, pattern, 0), nullptr);
    }
  }
  // The second form of the free-all loop belongs to another compiler build.
  EXPECT_EQ(Quillmend::FindMethodPtr(dcc, Quillmend::ParsePattern(Patterns::UnitFreeAll2), 0), nullptr);
}
