// Writes the code around every place the unit-of-address index and the
// symbol lookup tables rewrite, after installing them, for the binutils
// oracle (RewrittenSitesOracle.sh): one file of bytes per place and a list of
// the bytes written there. Runs only when QM_REWRITTEN_SITES_DIR names a directory.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Hooking/CodeTransaction.h"
#include "Patches/Compiler/CompilerOptimization.h"
#include "Patches/Compiler/CompilerOptimizationGetUnitOf.h"
#include "Patches/Compiler/SymLookupHash.h"
#include "StandInCompiler.h"

namespace {

constexpr uint32_t Window = 0x180;

bool Ours(const std::wstring& owner) {
  return owner == L"Compiler.GetUnitOf" || owner == L"Compiler.GetUnitOf.Imports" || owner == L"Compiler.SymLookup";
}

}  // namespace

TEST(RewrittenSites, Dump) {
  char directory[MAX_PATH];
  if (!GetEnvironmentVariableA("QM_REWRITTEN_SITES_DIR", directory, MAX_PATH)) GTEST_SKIP() << "no output directory";
  StandIn::Load();
  Quillmend::InstallCompilerOptimization();
  Quillmend::InstallGetUnitOf();
  Quillmend::InstallSymLookupHash();
  const std::vector<Quillmend::TCommittedRange> ranges = Quillmend::CommittedRanges();
  const char* const sites[] = {"GetUnitOf", "NewZone", "FreeZone", "DescriptorPool", "FreeZoneChain", "ContextOf",
                               "UnitOfAddress", "UnitOfEntity", "OfCurrentUnit", "CreateUnit", "TargetContext",
                               "CreateUnitSaved", "SymbolReference", "ReferenceOwner", "DeclaringUnit",
                               "ResolveUseKnown", "ResolveUseImports", "ResolveUseImportUnit", "ScopeLookup",
                               "SymLookupUnit", "SymLookupUnitNext"};
  FILE* list = std::fopen((std::string(directory) + "\\sites.txt").c_str(), "w");
  ASSERT_NE(list, nullptr);
  int written = 0;
  for (const char* name : sites) {
    auto* site = static_cast<uint8_t*>(StandIn::Driver().PatternSite(name));
    ASSERT_NE(site, nullptr) << name;
    FILE* bytes = std::fopen((std::string(directory) + "\\" + name + ".bin").c_str(), "wb");
    ASSERT_NE(bytes, nullptr);
    std::fwrite(site, 1, Window, bytes);
    std::fclose(bytes);
    std::fprintf(list, "%s %08X", name, unsigned(uintptr_t(site)));
    for (const Quillmend::TCommittedRange& range : ranges)
      if (Ours(range.Owner) && range.Address < site + Window && range.Address + range.Size > site) {
        std::fprintf(list, " %08X:%u", unsigned(uintptr_t(range.Address)), unsigned(range.Size));
        ++written;
      }
    std::fprintf(list, "\n");
  }
  std::fclose(list);
  EXPECT_GT(written, 20);
}
