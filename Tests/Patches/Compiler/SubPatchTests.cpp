// Each sub-patch three ways: applied (the compiler's results stay the same),
// disabled (its code untouched), and against a compiler build whose bytes do
// not match (reported failed, nothing written).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Patches/Compiler/UnitNameDictionary.h"
#include "StandInCompiler.h"

namespace {

struct TRegion {
  const char* Site;
  int Before;  // bytes before the site where the region starts (negative: after)
  int Count;
};

struct TSubPatch {
  const wchar_t* Name;
  std::vector<const wchar_t*> Needs;  // sub-patches whose findings it builds on
  std::vector<TRegion> Writes;        // the code it rewrites
};

const wchar_t* const Unlink = L"Compiler.UnlinkImports";

const std::vector<TSubPatch>& SubPatches() {
  static const std::vector<TSubPatch> list = {
      {Unlink, {}, {{"UnlinkImports", 0, 5}}},
      {L"Compiler.ResetUnits", {Unlink}, {{"ResetUnits", 6, 9}}},
      {L"Compiler.KibitzCompilerImplUnitReset", {Unlink}, {{"KibitzCompilerImplUnitReset", 6, 9}}},
      {L"Compiler.UnitFreeAll", {Unlink}, {{"UnitFreeAll", -1, 7}}},
      {L"Compiler.UnitFindByAlias", {Unlink},
       {{"Append", 0, 5}, {"Remove", 6, 5}, {"ChainAppend", 0, 5}, {"Find", 0, 5}}},
      {L"Compiler.NoUnitDiscardAfterCompile", {}, {{"NoUnitDiscardAfterCompile", -8, 7}}},
      {L"Compiler.SymLookupScope", {}, {{"SymLookupScope", -0x2C, 30}}},
      {L"Compiler.ImportedSymbol", {}, {{"ImportedSymbol", -0x15, 82}}},
  };
  return list;
}

const TSubPatch& SubPatch(const std::wstring& name) {
  for (const TSubPatch& p : SubPatches())
    if (name == p.Name) return p;
  throw std::runtime_error("unknown sub-patch");
}

std::vector<std::vector<uint8_t>> Snapshot(const TSubPatch& patch) {
  std::vector<std::vector<uint8_t>> bytes;
  for (const TRegion& r : patch.Writes) bytes.push_back(StandIn::SiteBytes(r.Site, r.Before, r.Count));
  return bytes;
}

constexpr int Units = 300;
constexpr int Imports = 15;
constexpr uint32_t RandomSeed = 7;

std::string TestName(const std::wstring& name) {
  std::string text;
  for (wchar_t c : name.substr(name.find(L'.') + 1)) text += char(c);
  return text;
}

class SubPatchTest : public testing::TestWithParam<std::wstring> {};

// Only this sub-patch and what it builds on are enabled; the workload's
// unit graph, states, flags and lookup results equal the compiler's own.
TEST_P(SubPatchTest, AppliedKeepsTheCompilersResults) {
  const TSubPatch& patch = SubPatch(GetParam());
  StandIn::Load();
  StandIn::TWorkloadResult plain = StandIn::RunWorkload(Units, Imports, RandomSeed);
  auto before = Snapshot(patch);
  std::wstring disabled;
  for (const TSubPatch& other : SubPatches()) {
    if (other.Name == GetParam()) continue;
    if (std::find(patch.Needs.begin(), patch.Needs.end(), std::wstring(other.Name)) != patch.Needs.end()) continue;
    disabled += std::wstring(other.Name) + L";";
  }
  StandIn::Install(disabled);
  EXPECT_EQ(StandIn::PatchStatus(patch.Name), L"applied");
  EXPECT_EQ(StandIn::PatchStatus(L"Compiler.Optimization"), L"applied");
  EXPECT_NE(Snapshot(patch), before);
  StandIn::TWorkloadResult patched = StandIn::RunWorkload(Units, Imports, RandomSeed);
  EXPECT_TRUE(patched == plain);
  EXPECT_EQ(patched.Loaded, plain.Loaded);
  EXPECT_EQ(patched.Reset, plain.Reset);
  EXPECT_EQ(patched.Recompiled, plain.Recompiled);
}

TEST_P(SubPatchTest, DisabledLeavesItsCodeUntouched) {
  const TSubPatch& patch = SubPatch(GetParam());
  StandIn::Load();
  StandIn::TWorkloadResult plain = StandIn::RunWorkload(Units, Imports, RandomSeed);
  auto before = Snapshot(patch);
  StandIn::Install(GetParam());
  EXPECT_EQ(StandIn::PatchStatus(patch.Name), L"");
  EXPECT_EQ(Snapshot(patch), before);
  // What builds on it cannot apply; everything else still can.
  for (const TSubPatch& other : SubPatches()) {
    if (other.Name == GetParam()) continue;
    bool needsIt = std::find(other.Needs.begin(), other.Needs.end(), GetParam()) != other.Needs.end();
    EXPECT_EQ(StandIn::PatchStatus(other.Name), needsIt ? L"failed" : L"applied") << TestName(other.Name);
  }
  EXPECT_TRUE(StandIn::RunWorkload(Units, Imports, RandomSeed) == plain);
}

INSTANTIATE_TEST_SUITE_P(CompilerOptimization, SubPatchTest,
                         testing::Values(L"Compiler.UnlinkImports", L"Compiler.ResetUnits",
                                         L"Compiler.KibitzCompilerImplUnitReset", L"Compiler.UnitFreeAll",
                                         L"Compiler.UnitFindByAlias", L"Compiler.NoUnitDiscardAfterCompile",
                                         L"Compiler.SymLookupScope", L"Compiler.ImportedSymbol"),
                         [](const testing::TestParamInfo<std::wstring>& info) { return TestName(info.param); });

TEST(CompilerOptimization, AllAppliedKeepTheCompilersResults) {
  StandIn::Load();
  StandIn::TWorkloadResult plain = StandIn::RunWorkload(Units, Imports, RandomSeed);
  StandIn::Install();
  for (const TSubPatch& patch : SubPatches()) EXPECT_EQ(StandIn::PatchStatus(patch.Name), L"applied");
  StandIn::TWorkloadResult patched = StandIn::RunWorkload(Units, Imports, RandomSeed);
  EXPECT_TRUE(patched == plain);
  // The lookups went through the dictionary.
  EXPECT_GT(Quillmend::UnitNameDictionary.RebuildCount, 0u);
}

TEST(CompilerOptimization, DisabledAsAWholeWritesNothing) {
  StandIn::Load();
  std::vector<uint8_t> code = StandIn::CodeBytes();
  StandIn::Install(L"Compiler.Optimization");
  EXPECT_EQ(StandIn::PatchStatus(L"Compiler.Optimization"), L"");
  for (const TSubPatch& patch : SubPatches()) EXPECT_EQ(StandIn::PatchStatus(patch.Name), L"");
  EXPECT_TRUE(StandIn::CodeBytes() == code);
}

// ---- a compiler build whose bytes do not match ------------------------------------------

struct TVariant {
  const char* Directory;
  std::vector<const wchar_t*> Failing;
};

class MismatchedCompilerTest : public testing::TestWithParam<TVariant> {};

TEST_P(MismatchedCompilerTest, FailsOnlyWhatDependsOnTheAlteredRoutine) {
  const TVariant& variant = GetParam();
  StandIn::Load(variant.Directory);
  StandIn::TWorkloadResult plain = StandIn::RunWorkload(Units, Imports, RandomSeed);
  std::vector<std::vector<std::vector<uint8_t>>> before;
  for (const TSubPatch& patch : SubPatches()) before.push_back(Snapshot(patch));
  StandIn::Install();
  EXPECT_EQ(StandIn::PatchStatus(L"Compiler.Optimization"), L"applied");
  for (size_t i = 0; i < SubPatches().size(); ++i) {
    const TSubPatch& patch = SubPatches()[i];
    bool failing = std::find_if(variant.Failing.begin(), variant.Failing.end(), [&](const wchar_t* name) {
                     return std::wstring(name) == patch.Name;
                   }) != variant.Failing.end();
    SCOPED_TRACE(TestName(patch.Name));
    EXPECT_EQ(StandIn::PatchStatus(patch.Name), failing ? L"failed" : L"applied");
    if (failing) {
      EXPECT_EQ(Snapshot(patch), before[i]);
    }
  }
  EXPECT_TRUE(StandIn::RunWorkload(Units, Imports, RandomSeed) == plain);
}

const wchar_t* const Reset = L"Compiler.ResetUnits";
const wchar_t* const Kibitz = L"Compiler.KibitzCompilerImplUnitReset";
const wchar_t* const FreeAll = L"Compiler.UnitFreeAll";
const wchar_t* const FindByAlias = L"Compiler.UnitFindByAlias";

INSTANTIATE_TEST_SUITE_P(
    CompilerOptimization, MismatchedCompilerTest,
    // Without the name comparison the unlinking is not applied, and what
    // builds on its findings waits for it.
    testing::Values(TVariant{"namecompare", {Unlink, Reset, Kibitz, FreeAll, FindByAlias}},
                    TVariant{"unlink", {Unlink, Reset, Kibitz, FreeAll, FindByAlias}},
                    TVariant{"reset", {Reset}}, TVariant{"kibitzreset", {Kibitz}}, TVariant{"freeall", {FreeAll}},
                    TVariant{"append", {FindByAlias}}, TVariant{"remove", {FindByAlias}},
                    TVariant{"chainappend", {FindByAlias}}, TVariant{"find", {FindByAlias}},
                    TVariant{"alias", {FindByAlias}},
                    TVariant{"nodiscard", {L"Compiler.NoUnitDiscardAfterCompile"}},
                    TVariant{"scope", {L"Compiler.SymLookupScope"}},
                    TVariant{"imported", {L"Compiler.ImportedSymbol"}}),
    [](const testing::TestParamInfo<TVariant>& info) { return std::string(info.param.Directory); });

} // namespace
