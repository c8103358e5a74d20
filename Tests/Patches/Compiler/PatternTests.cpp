// Every pattern of the compiler patches is found exactly once in the
// stand-in compiler, at the routine it is meant for; each variant of the
// stand-in re-encodes exactly its own routine; the second form of the
// free-all loop is found in its variant and the pack installs through it.
#include <gtest/gtest.h>

#include <cstring>

#include "Common/SearchedSites.h"
#include "Hooking/PatternSearch.h"
#include "Patches/Compiler/CompilerOptimizationGetUnitOfPatterns.h"
#include "Patches/Compiler/CompilerFilePatterns.h"
#include "Patches/Compiler/CompilerShrinkUnitMemory.h"
#include "Patches/Compiler/CompilerFileNameStrFunctions.h"
#include "Patches/Compiler/KibitzPatterns.h"
#include "Patches/Compiler/MapFilefprintfPatch.h"
#include "Patches/Compiler/OptimizedUnitRead.h"
#include "Patches/Compiler/PrefetchTokenOptimization.h"
#include "Patches/Compiler/WarnLoadResStringPatch.h"
#include "Patches/Compiler/CompilerCreateRootTypeUnitListOpt.h"
#include "Patches/Compiler/CompilerDbgGetFileIndexOptimization.h"
#include "Patches/Compiler/CompilerDbkReleaseUnusedMemory.h"
#include "Patches/Compiler/CompilerDbkRsmMemoryLeakFix.h"
#include "Patches/Compiler/CompilerOptimizationPatterns.h"
#include "Patches/Compiler/CompilerFixPatterns.h"
#include "Patches/Compiler/GenericsPatterns.h"
#include "Patches/Compiler/PackageLookupPatterns.h"
#include "Patches/Compiler/SymLookupHashPatterns.h"
#include "StandInCompiler.h"

namespace Patterns = Quillmend::CompilerOptimizationPatterns;
namespace Files = Quillmend::CompilerFilePatterns;
namespace UnitOf = Quillmend::GetUnitOfPatterns;
namespace SymLookup = Quillmend::SymLookupHashPatterns;
namespace Packages = Quillmend::PackageLookupPatterns;
namespace Generics = Quillmend::GenericsPatterns;
namespace Fix = Quillmend::CompilerFixPatterns;

namespace {


struct TSitePattern {
  const char* Site;
  const char* Pattern;
};

// The site each pattern belongs to, by the stand-in's site names.
const TSitePattern SitePatterns[] = {
    {"NameCompare", Patterns::NameCompare},       {"UnlinkImports", Patterns::UnlinkImports},
    {"ResetUnits", Patterns::ResetUnits},         {"KibitzCompilerImplUnitReset", Patterns::KibitzUnitReset},
    {"UnitFreeAll", Patterns::UnitFreeAll1},      {"Append", Patterns::UnitAppend},
    {"Remove", Patterns::UnitRemove},             {"ChainAppend", Patterns::UnitChainAppend},
    {"Find", Patterns::UnitFind},                 {"Alias", Patterns::UnitAlias},
    {"NoUnitDiscardAfterCompile", Patterns::NoUnitDiscard},
    {"SymLookupScope", Patterns::SymLookupScope}, {"ImportedSymbol", Patterns::ImportedSymbol},
    // The unit-of-address index, its imported-symbol places and the symbol lookup tables.
    {"GetUnitOf", UnitOf::GetUnitOf},             {"NewZone", UnitOf::NewZone},
    {"FreeZone", UnitOf::FreeZone},               {"DescriptorPool", UnitOf::DescriptorPool},
    {"FreeZoneChain", UnitOf::FreeZoneChain},     {"ContextOf", UnitOf::ContextOf},
    {"UnitOfAddress", UnitOf::UnitOfAddress},     {"UnitOfEntity", UnitOf::InlineSearch1},
    {"OfCurrentUnit", UnitOf::InlineSearch2},     {"CreateUnit", UnitOf::CreateUnit1},
    {"TargetContext", UnitOf::InlineSearch3},     {"CreateUnitSaved", UnitOf::CreateUnit2},
    {"AllocDescriptor", UnitOf::AllocDescriptor}, {"SymbolReference", UnitOf::SymbolReference},
    {"ReferenceOwner", UnitOf::ReferenceOwner},   {"DeclaringUnit", UnitOf::DeclaringUnit},
    {"ResolveUseKnown", UnitOf::ResolveKnown},    {"ResolveUseImports", UnitOf::ResolveImports},
    {"ResolveUseImportUnit", UnitOf::ResolveImportUnit},
    {"ScopeLookup", SymLookup::ScopeLookup},      {"SymLookupUnit", SymLookup::InnerLoop},
    {"SymLookupUnitNext", SymLookup::NextCandidate},
    // The file side: file ages, the search and its lists, output files, the outdated check.
    {"FileAge", Files::FileAge},                  {"MemoryFiles", Files::MemoryFiles},
    {"FileSearch", Files::FileSearch},            {"AddDir", Files::AddDir},
    {"ClearDirs", Files::ClearDirs},              {"Open1", Files::Open1},
    {"Open2", Files::Open2},                      {"MapWrite", Files::MapWrite},
    {"SetBuffer", Files::SetBuffer},              {"DrcOpen", Files::DrcOpen},
    {"Outdated1", Files::Outdated1},              {"Outdated2", Files::Outdated2},
    {"Outdated3", Files::Outdated3},
    {"PackageFind", Packages::FindPackage},       {"PackageRemove", Packages::RemovePackage},
    {"PackageReleaseAll", Packages::ReleaseAll},  {"PackageFindOrLoad", Packages::FindOrLoad},
    {"PackageOfUnit", Packages::PackageOfUnit},   {"PackageDuplicateCheck", Packages::DuplicateCheck},
    {"PackageDuplicateError", Packages::DuplicateError},
    {"GenericsInstance1", Generics::Instance1},   {"GenericsPurge", Generics::Purge},
    {"GenericsInstance2", Generics::Instance2},   {"LinkerAlloc", Generics::LinkerAlloc},
    {"LinkerMatchTable", Generics::LinkerMatchTable}, {"LinkerBucket", Generics::LinkerBucket},
    {"LinkerPass1", Generics::LinkerPass1},       {"LinkerPass2", Generics::LinkerPass2},
    {"KibitzCompileStart", Fix::KibitzCompileStart}, {"ErrorReport", Fix::ErrorReport},
    {"KibitzActiveTest", Fix::KibitzActiveTest},  {"SkipBody", Fix::SkipBody},
    {"MainUnitFinalize", Fix::MainUnitFinalize},
    {"PoolShrink", Quillmend::CompilerShrinkPatterns::Shrink},
    {"ReadName", Quillmend::UnitReadPatterns::ReadName},
    {"MapPrintf", Quillmend::MapFilePatterns::Write},
    {"MapLine", Quillmend::MapFilePatterns::Line},
    {"PrefetchToken", Quillmend::PrefetchTokenPatterns::Prefetch},
    {"TokenBufAlloc", Quillmend::PrefetchTokenPatterns::Alloc},
    {"TokenBufFree", Quillmend::PrefetchTokenPatterns::Release},
    {"StrLenSymbol", Quillmend::PrefetchTokenPatterns::StrLenSymbol},
    {"StrLenMember", Quillmend::PrefetchTokenPatterns::StrLenMember},
    {"CodeInsightCounter", Quillmend::KibitzPatterns::CodeInsightCounter},
    {"WarningFilter", Quillmend::WarnLoadResStringPatterns::Filter},
    {"Warn46", Quillmend::WarnLoadResStringPatterns::Warn46},
    {"Warn47", Quillmend::WarnLoadResStringPatterns::Warn47},
    {"MessageList", Quillmend::WarnLoadResStringPatterns::MessageList},
    {"RootTypeUnitList", Quillmend::RootTypeUnitListPatterns::UnitList},
    {"RootTypeListSearch", Quillmend::RootTypeUnitListPatterns::Search},
    {"RsmStore", Quillmend::RsmPatterns::Store},
    {"RsmLookup", Quillmend::RsmPatterns::Lookup},
    {"ReleaseUnused", Quillmend::ReleaseUnusedMemoryPatterns::Release},
    {"BaseNameLength", Quillmend::FileNameStrPatterns::BaseNameLength},
    {"DirLength", Quillmend::FileNameStrPatterns::DirLength},
    {"FileExt", Quillmend::FileNameStrPatterns::FileExt},
    {"ExtractDir", Quillmend::FileNameStrPatterns::ExtractDir},
    {"FileTableFree", Quillmend::DbgFileIndexPatterns::FreeTable},
    {"FileTableAdd", Quillmend::DbgFileIndexPatterns::AddEntry},
    {"FileIndex", Quillmend::DbgFileIndexPatterns::FileIndex},
    {"FileIndexFullName", Quillmend::DbgFileIndexPatterns::FullNameCall},
};

// Sites whose patterns occur elsewhere too and are found by a search of
// their own (within a routine, or the match whose operands agree; tested
// with their patches): here only their bytes are checked.
bool FoundByOwnSearch(const char* site) {
  for (const char* own : {"TokenBufAlloc", "TokenBufFree", "CodeInsightCounter"})
    if (std::strcmp(own, site) == 0) return true;
  return false;
}

const char* PatternOf(const char* site) {
  for (const TSitePattern& row : SitePatterns)
    if (std::strcmp(row.Site, site) == 0) return row.Pattern;
  return nullptr;
}

std::vector<QmHost::SearchedSite> SitesOf(HMODULE module) {
  StandIn::TDriver::PatternSitesFn sites = nullptr;
  DccDriver::BindExport(module, sites, DccDriver::Export::PatternSites);
  int count = 0;
  const QmHost::SearchedSite* first = sites ? sites(&count) : nullptr;
  return std::vector<QmHost::SearchedSite>(first, first + count);
}

// Where the pattern matches in the module, null when it does not; a second
// match fails the test.
uint8_t* FindOnce(HMODULE module, const char* patternText) {
  Quillmend::TBytePattern pattern = Quillmend::ParsePattern(patternText);
  auto* match = static_cast<uint8_t*>(Quillmend::FindMethodPtr(module, pattern, 0));
  if (match) {
    EXPECT_EQ(Quillmend::FindMethodPtr(match + 1, pattern, 0), nullptr) << "second match";
  }
  return match;
}

// Fixed bytes of the pattern that the code at `at` does not have.
int Mismatches(const uint8_t* at, const char* patternText) {
  int count = 0;
  Quillmend::TBytePattern pattern = Quillmend::ParsePattern(patternText);
  for (size_t i = 0; i < pattern.size(); ++i) count += pattern[i] >= 0 && at[i] != uint8_t(pattern[i]);
  return count;
}

} // namespace

TEST(CompilerOptimizationPatterns, EachMatchesOnceAtItsRoutine) {
  HMODULE dcc = StandIn::Load();
  std::vector<QmHost::SearchedSite> sites = SitesOf(dcc);
  // Every routine the stand-in declares is searched by a pattern, and the
  // other way round.
  EXPECT_EQ(sites.size(), std::size(SitePatterns));
  for (const QmHost::SearchedSite& site : sites) {
    SCOPED_TRACE(site.Name);
    const char* pattern = PatternOf(site.Name);
    ASSERT_NE(pattern, nullptr);
    if (FoundByOwnSearch(site.Name))
      EXPECT_EQ(Mismatches(static_cast<uint8_t*>(site.Address), pattern), 0);
    else
      EXPECT_EQ(FindOnce(dcc, pattern), site.Address);
    EXPECT_EQ(StandIn::Driver().PatternSite(site.Name), site.Address);
  }
  EXPECT_EQ(StandIn::Driver().PatternSite("NoSuchRoutine"), nullptr);
  // The second form of the free-all loop belongs to another compiler build.
  EXPECT_EQ(FindOnce(dcc, Patterns::UnitFreeAll2), nullptr);
}

// A routine's variant differs in one byte of that routine's pattern; every
// other routine still matches, at its own site.
TEST(CompilerOptimizationPatterns, EachVariantAltersOnlyItsOwnRoutine) {
  std::vector<QmHost::SearchedSite> declared = SitesOf(StandIn::Load());
  ASSERT_FALSE(declared.empty());
  for (const QmHost::SearchedSite& altered : declared) {
    SCOPED_TRACE(altered.Variant);
    HMODULE variant = LoadLibraryW(StandIn::ModulePath(altered.Variant).c_str());
    ASSERT_NE(variant, nullptr);
    for (const QmHost::SearchedSite& site : SitesOf(variant)) {
      SCOPED_TRACE(site.Name);
      const char* pattern = PatternOf(site.Name);
      ASSERT_NE(pattern, nullptr);
      if (std::strcmp(site.Name, altered.Name) == 0) {
        if (!FoundByOwnSearch(site.Name)) EXPECT_EQ(FindOnce(variant, pattern), nullptr);
        EXPECT_EQ(Mismatches(static_cast<uint8_t*>(site.Address), pattern), 1);
      } else if (FoundByOwnSearch(site.Name)) {
        EXPECT_EQ(Mismatches(static_cast<uint8_t*>(site.Address), pattern), 0);
      } else {
        EXPECT_EQ(FindOnce(variant, pattern), site.Address);
      }
    }
    FreeLibrary(variant);
  }
}

// The compiler build with the free-all loop's second form: found there, and
// the patch installs through that branch (the call before the loop is moved,
// not lost: the further lists are still released by it).
TEST(CompilerOptimizationPatterns, SecondFreeAllFormInstalls) {
  HMODULE dcc = StandIn::Load("freeall-form2");
  EXPECT_EQ(FindOnce(dcc, Patterns::UnitFreeAll1), nullptr);
  EXPECT_EQ(FindOnce(dcc, Patterns::UnitFreeAll2), StandIn::Driver().PatternSite("UnitFreeAll"));
  constexpr int Units = 300, Imports = 8;
  constexpr uint32_t RandomSeed = 77;
  StandIn::TWorkloadResult plain = StandIn::RunWorkload(Units, Imports, RandomSeed);
  StandIn::Install();
  EXPECT_EQ(StandIn::PatchStatus(L"Compiler.UnitFreeAll"), L"applied");
  EXPECT_EQ(StandIn::PatchStatus(L"Compiler.Optimization"), L"applied");
  EXPECT_TRUE(StandIn::RunWorkload(Units, Imports, RandomSeed) == plain);
  EXPECT_EQ(*reinterpret_cast<void**>(GetProcAddress(dcc, "DccRecordList")), nullptr);
}
