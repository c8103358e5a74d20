// The shipped Quillmend.dll (<build>/out) in the stand-in IDE: bds.exe loads
// it as an expert, the compiler patches go into the stand-in dcc150.dll at
// the expert entry, and the compiler workload ("-run dcc") must leave the
// same unit graph after every phase as the unpatched compiler does.
#include "Tests/Support/IdeRun.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <map>

namespace {

const std::vector<std::wstring> CompilerEntries = {
    L"applied: Compiler optimizations [Compiler.Optimization]",
    L"applied: Compiler optimizations (UnlinkImports) [Compiler.UnlinkImports]",
    L"applied: Compiler optimizations (UnitReset) [Compiler.ResetUnits]",
    L"applied: Compiler optimizations (KibitzCompilerImplUnitReset) [Compiler.KibitzCompilerImplUnitReset]",
    L"applied: Compiler optimizations (UnitFreeAll) [Compiler.UnitFreeAll]",
    L"applied: Compiler optimizations (UnitFindByAlias) [Compiler.UnitFindByAlias]",
    L"applied: Compiler optimizations (NoUnitDiscardAfterCompile) [Compiler.NoUnitDiscardAfterCompile]",
    L"applied: Compiler optimizations (SymLookupScope) [Compiler.SymLookupScope]",
    L"applied: Compiler optimizations (ImportedSymbol) [Compiler.ImportedSymbol]",
    L"applied: GetUnitOf optimization [Compiler.GetUnitOf]",
    L"applied: GetUnitOf Import optimization [Compiler.GetUnitOf.Imports]",
    L"applied: HashTable for SymLookup [Compiler.SymLookup]",
};
const std::vector<std::wstring> Phases = {L"load",   L"lookup",  L"reset",  L"recompile",
                                          L"unitof", L"symbols", L"freeall"};

struct TDccRun {
  TIdeRun Ide;
  std::vector<std::wstring> AboutLines;     // the about entry's status lines
  std::map<std::wstring, std::wstring> Checksums;  // phase -> checksum
  std::wstring Lookups;                            // "names=<n> misses=<m> found=<f>"
};

TDccRun RunWorkload(const std::wstring& name, const std::wstring& disabled) {
  TIdeSetup setup;
  setup.Name = name;
  setup.Suite = L"CompilerOptimization";
  setup.Library = BuildDirectory() + L"\\out\\Quillmend.dll";
  setup.Environment = {{L"Quillmend.DisabledPatches", disabled}};
  setup.Arguments = {L"-run", L"dcc", L"300", L"15"};
  TDccRun run;
  run.Ide = RunIde(setup);
  for (const std::wstring& added : run.Ide.Lines(L"ABOUT-ADD ")) {
    std::wstring text = added.substr(added.find(L'|') + 1);
    for (size_t start = 0; start < text.size();) {
      size_t end = text.find(L"\r\n", start);
      if (end == std::wstring::npos) end = text.size();
      run.AboutLines.push_back(text.substr(start, end - start));
      start = end + 2;
    }
  }
  for (const std::wstring& line : run.Ide.Lines(L"DCC-PHASE ")) {
    size_t checksum = line.find(L" checksum=");
    if (checksum != std::wstring::npos) run.Checksums[line.substr(0, line.find(L' '))] = line.substr(checksum + 10);
  }
  std::vector<std::wstring> lookups = run.Ide.Lines(L"DCC-LOOKUPS ");
  if (lookups.size() == 1) run.Lookups = lookups[0];
  return run;
}

bool Lists(const TDccRun& run, const std::wstring& entry) {
  for (const std::wstring& line : run.AboutLines)
    if (line == entry) return true;
  return false;
}

// Every phase ran and journaled a checksum, and the run ended in order.
void ExpectCompleteRun(const TDccRun& run) {
  EXPECT_EQ(run.Ide.ExitCode, 0u);
  EXPECT_TRUE(run.Ide.Saw(L"SHUTDOWN"));
  EXPECT_TRUE(run.Ide.Saw(L"DCC-WORKLOAD units=300 imports=15"));
  EXPECT_TRUE(run.Ide.Lines(L"EXCEPTION ").empty());
  for (const std::wstring& phase : Phases) EXPECT_EQ(run.Checksums.count(phase), 1u) << phase;
  // Every name asked for is found except the absent ones: names in another
  // letter case and names reached through an alias find their unit.
  unsigned names = 0, misses = 0, found = 0;
  ASSERT_EQ(std::swscanf(run.Lookups.c_str(), L"names=%u misses=%u found=%u", &names, &misses, &found), 3)
      << run.Lookups;
  EXPECT_GT(misses, 0u);
  EXPECT_GT(names, 300u * 15u);
  EXPECT_EQ(found, names - misses);
}

}  // namespace

TEST(ShippedLibrary, CompilerPatchesAppliedAndTheWorkloadEndsAsWithoutThem) {
  TDccRun off = RunWorkload(L"PackOff", L"*");
  ExpectCompleteRun(off);
  for (const std::wstring& entry : CompilerEntries) {
    std::wstring name = entry.substr(entry.find(L'['));
    for (const std::wstring& line : off.AboutLines) EXPECT_EQ(line.find(name), std::wstring::npos) << line;
  }

  TDccRun on = RunWorkload(L"PackOn", L"");
  ExpectCompleteRun(on);
  for (const std::wstring& entry : CompilerEntries) EXPECT_TRUE(Lists(on, entry)) << entry;
  EXPECT_EQ(on.Checksums, off.Checksums);
}

// Sub-patches switched off a few at a time: the rest must still work
// together (without the reset and free-all loops the host frees units one by
// one through the replaced unlinking and list routines; without the list
// routines there is no dictionary).
TEST(ShippedLibrary, PartlyDisabledCompilerPatchesEndAsTheUnpatchedCompiler) {
  TDccRun off = RunWorkload(L"PartlyOff-None", L"*");
  ExpectCompleteRun(off);
  const struct {
    const wchar_t* Name;
    const wchar_t* Disabled;
  } cases[] = {
      {L"PartlyOff-Reset", L"Compiler.ResetUnits;Compiler.UnitFreeAll"},
      {L"PartlyOff-Find", L"Compiler.UnitFindByAlias"},
      {L"PartlyOff-Kibitz", L"Compiler.KibitzCompilerImplUnitReset;Compiler.ImportedSymbol"},
      // The index alone, the unit list patches without the index.
      {L"PartlyOff-UnitOf", L"Compiler.GetUnitOf.Imports;Compiler.SymLookup"},
      {L"PartlyOff-Index", L"Compiler.GetUnitOf"},
  };
  for (const auto& c : cases) {
    TDccRun run = RunWorkload(c.Name, c.Disabled);
    ExpectCompleteRun(run);
    EXPECT_EQ(run.Checksums, off.Checksums) << c.Disabled;
  }
}

// ---- the package lookup and the CodeInsight fixes in the IDE ----------------------------------

namespace {

TIdeRun RunWith(const std::wstring& name, const std::wstring& disabled, std::vector<std::wstring> arguments) {
  TIdeSetup setup;
  setup.Name = name;
  setup.Suite = L"CompilerOptimization";
  setup.Library = BuildDirectory() + L"\\out\\Quillmend.dll";
  setup.Environment = {{L"Quillmend.DisabledPatches", disabled}};
  setup.Arguments = {L"-run"};
  setup.Arguments.insert(setup.Arguments.end(), arguments.begin(), arguments.end());
  return RunIde(setup);
}

// "<field>=<value>" of a journal line.
std::wstring Field(const std::wstring& line, const std::wstring& field) {
  size_t at = line.find(L" " + field + L"=");
  if (at == std::wstring::npos) return L"";
  at += field.size() + 2;
  return line.substr(at, line.find(L' ', at) - at);
}

}  // namespace

TEST(ShippedLibrary, PackageWorkloadEndsAsWithoutThePack) {
  TIdeRun off = RunWith(L"PackagesOff", L"*", {L"packages", L"30"});
  TIdeRun on = RunWith(L"PackagesOn", L"", {L"packages", L"30"});
  for (const TIdeRun* run : {&off, &on}) {
    EXPECT_EQ(run->ExitCode, 0u);
    EXPECT_TRUE(run->Saw(L"SHUTDOWN"));
    EXPECT_TRUE(run->Lines(L"EXCEPTION ").empty());
  }
  std::vector<std::wstring> offPhases = off.Lines(L"PKG-PHASE "), onPhases = on.Lines(L"PKG-PHASE ");
  ASSERT_EQ(offPhases.size(), 5u);
  ASSERT_EQ(onPhases.size(), 5u);
  for (size_t i = 0; i < offPhases.size(); ++i) {
    EXPECT_EQ(Field(onPhases[i], L"checksum"), Field(offPhases[i], L"checksum")) << offPhases[i];
    EXPECT_EQ(Field(onPhases[i], L"result"), Field(offPhases[i], L"result")) << offPhases[i];
  }
}

// The IDE hands the pack its services at the expert entry; the pack's IDE
// notifier hears the files open, its module notifiers hear the edits, and
// the CodeInsight compiles on the background thread show every fix.
TEST(ShippedLibrary, CodeInsightFixesWorkThroughTheIdesServices) {
  TIdeRun off = RunWith(L"KibitzOff", L"*", {L"kibitz"});
  TIdeRun on = RunWith(L"KibitzOn", L"", {L"kibitz"});
  for (const TIdeRun* run : {&off, &on}) {
    EXPECT_EQ(run->ExitCode, 0u);
    EXPECT_TRUE(run->Saw(L"SHUTDOWN"));
    EXPECT_TRUE(run->Lines(L"EXCEPTION ").empty());
    EXPECT_TRUE(run->Lines(L"SERVICE-UNSUPPORTED ").empty());
  }
  std::vector<std::wstring> offCompiles = off.Lines(L"KIBITZ-COMPILE "), onCompiles = on.Lines(L"KIBITZ-COMPILE ");
  ASSERT_EQ(offCompiles.size(), 3u);
  ASSERT_EQ(onCompiles.size(), 3u);
  // Unpatched: every error shown, finalizations, bodies ended wrong, edited units kept.
  EXPECT_EQ(Field(offCompiles[0], L"errors"), L"300");
  EXPECT_NE(Field(offCompiles[0], L"finalized"), L"0");
  EXPECT_EQ(Field(offCompiles[1], L"units"), Field(offCompiles[0], L"units"));
  // Patched: 249 of 300 swallowed, no finalization, bodies to their ends, the two edited units reset.
  EXPECT_EQ(Field(onCompiles[0], L"errors"), L"51");
  EXPECT_EQ(Field(onCompiles[0], L"finalized"), L"0");
  EXPECT_EQ(Field(onCompiles[0], L"bodies"), L"4,4,6,4");
  EXPECT_EQ(std::stoi(Field(onCompiles[1], L"units")), std::stoi(Field(onCompiles[0], L"units")) - 2);
  EXPECT_EQ(on.Lines(L"IDE-NOTIFIER-ADD ").size(), 1u);
  EXPECT_EQ(on.Lines(L"MODULE-NOTIFIER-ADD ").size(), 5u);
  EXPECT_EQ(on.Lines(L"MODULE-NOTIFIER-REMOVE ").size(), 5u) << "removed when their modules close";
  // A normal compile reports and finalizes the same either way (its units differ by the two reset ones).
  ASSERT_EQ(on.Lines(L"KIBITZ-NORMAL ").size(), 1u);
  ASSERT_EQ(off.Lines(L"KIBITZ-NORMAL ").size(), 1u);
  const std::wstring onNormal = L" " + on.Lines(L"KIBITZ-NORMAL ")[0], offNormal = L" " + off.Lines(L"KIBITZ-NORMAL ")[0];
  EXPECT_EQ(Field(onNormal, L"errors"), L"101");
  EXPECT_EQ(Field(onNormal, L"errors"), Field(offNormal, L"errors"));
  EXPECT_EQ(Field(onNormal, L"finalized"), Field(offNormal, L"finalized"));
}
