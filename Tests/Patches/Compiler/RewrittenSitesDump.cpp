// Writes the code around every place the unit-of-address index and the
// symbol lookup tables rewrite, after installing them, for the binutils
// oracle (RewrittenSitesOracle.sh): one file of bytes per place and a list of
// the bytes written there.
//   CompilerRewrittenSitesDump.exe <directory>
#include <cstdio>
#include <exception>
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

int Dump(const std::string& directory) {
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
  FILE* list = std::fopen((directory + "\\sites.txt").c_str(), "w");
  if (!list) return 1;
  int written = 0;
  for (const char* name : sites) {
    auto* site = static_cast<uint8_t*>(StandIn::Driver().PatternSite(name));
    if (!site) return 1;
    FILE* bytes = std::fopen((directory + "\\" + name + ".bin").c_str(), "wb");
    if (!bytes) return 1;
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
  return written > 20 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  try {
    return Dump(argv[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
