// Each compiler sub-patch three ways against the stand-in compiler: applied
// alone (with what it builds on; the compiler's results stay the same),
// disabled (nothing of it written, what builds on it not applied), and
// against compiler builds whose bytes do not match (it and what builds on it
// failed with a reason, nothing of theirs written); the code is restored
// byte for byte afterwards in every case.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Patches/Compiler/CompilerOptimization.h"
#include "Patches/Compiler/UnitNameDictionary.h"
#include "StandInCompiler.h"
#include "ThreeWayHarness.h"

namespace {

const wchar_t* const Optimization = L"Compiler.Optimization";
const wchar_t* const Unlink = L"Compiler.UnlinkImports";
const wchar_t* const Reset = L"Compiler.ResetUnits";
const wchar_t* const Kibitz = L"Compiler.KibitzCompilerImplUnitReset";
const wchar_t* const FreeAll = L"Compiler.UnitFreeAll";
const wchar_t* const FindByAlias = L"Compiler.UnitFindByAlias";
const wchar_t* const NoDiscard = L"Compiler.NoUnitDiscardAfterCompile";
const wchar_t* const Scope = L"Compiler.SymLookupScope";
const wchar_t* const Imported = L"Compiler.ImportedSymbol";

const std::vector<TPatchRow> PatchRows = {
    {Optimization, {}},
    {Unlink, {Optimization}},
    {Reset, {Optimization, Unlink}},
    {Kibitz, {Optimization, Unlink}},
    {FreeAll, {Optimization, Unlink}},
    {FindByAlias, {Optimization, Unlink}},
    {NoDiscard, {Optimization}},
    {Scope, {Optimization}},
    {Imported, {Optimization}},
};

using StandIn::AlterOperand;
using StandIn::ExportAddress;

// Without the name comparison or the unlinking routine the unlinking is not
// applied, and what builds on its findings waits for it.
const std::vector<TVariantRow> VariantRows = {
    {"namecompare", {Unlink, Reset, Kibitz, FreeAll, FindByAlias}},
    {"unlink", {Unlink, Reset, Kibitz, FreeAll, FindByAlias}},
    {"reset", {Reset}},
    {"kibitzreset", {Kibitz}},
    {"freeall", {FreeAll}},
    {"freeall-form2", {}},  // the second form of the loop: everything applies
    {"append", {FindByAlias}},
    {"remove", {FindByAlias}},
    {"chainappend", {FindByAlias}},
    {"find", {FindByAlias}},
    {"alias", {FindByAlias}},
    {"nodiscard", {NoDiscard}},
    {"scope", {Scope}},
    {"imported", {Imported}},
    // Symbol chains at another offset of the unit record: the lookups' rewrites do not fit.
    {"scope-layout", {Scope}, [] { AlterOperand("SymLookupScope", 0x19, 0x168); }},
    {"imported-layout", {Imported}, [] { AlterOperand("ImportedSymbol", 0x0D, 0x168); }},
    // The find routine walks another variable than the list the other routines keep.
    {"find-head", {FindByAlias}, [] { AlterOperand("Find", 0x10, ExportAddress("DccUnitListTail")); }},
};

constexpr int Units = 300;
constexpr int Imports = 15;
constexpr uint32_t RandomSeed = 7;

std::string Fingerprint(const StandIn::TWorkloadResult& r) {
  char text[128];
  std::snprintf(text, sizeof text, "loaded %08X/%d reset %08X/%d recompiled %08X freed %08X", r.Loaded, r.UnitsLoaded,
                r.Reset, r.UnitsAfterReset, r.Recompiled, r.Freed);
  return text;
}

const TThreeWaySubsystem& Compiler() {
  static const TThreeWaySubsystem subsystem{
      {L"dcc150.dll"},
      [] { StandIn::BindLoaded(); },
      [] { Quillmend::InstallCompilerOptimization(); },
      [] { return Fingerprint(StandIn::RunWorkload(Units, Imports, RandomSeed)); },
      {Optimization, Unlink, Reset, Kibitz, FreeAll, FindByAlias, NoDiscard, Scope, Imported},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(Compiler, Compiler(), PatchRows, VariantRows)

TEST(CompilerOptimization, LookupsGoThroughTheDictionary) {
  StandIn::Load();
  StandIn::Install();
  StandIn::RunWorkload(Units, Imports, RandomSeed);
  EXPECT_GT(Quillmend::UnitNameDictionary.RebuildCount, 0u);
}

TEST(CompilerOptimization, DisabledAsAWholeWritesNothing) {
  StandIn::Load();
  std::vector<uint8_t> code = StandIn::CodeBytes();
  StandIn::Install(L"Compiler.Optimization");
  for (const TPatchRow& row : PatchRows) EXPECT_EQ(StandIn::PatchStatus(row.Patch), L"");
  EXPECT_TRUE(StandIn::CodeBytes() == code);
}

struct TReasonCase {
  const char* Variant;
  const wchar_t* Patch;
  const wchar_t* Reason;
};

class FailedSubPatch : public testing::TestWithParam<TReasonCase> {};

// A dry run over the variant says why, as the installation would.
TEST_P(FailedSubPatch, SaysWhy) {
  const TReasonCase& c = GetParam();
  const TVariantRow* row = nullptr;
  for (const TVariantRow& r : VariantRows)
    if (r.Variant == c.Variant) row = &r;
  ASSERT_NE(row, nullptr);
  TThreeWayRun run(Compiler());
  if (row->Alter) {
    run.Load("", row->Alter);
  } else {
    run.Load(row->Variant);
  }
  std::vector<std::wstring> applies;
  Quillmend::TDryRunOptions options;
  options.IsApplied = [&](const std::wstring& name) {
    return std::find(applies.begin(), applies.end(), name) != applies.end();
  };
  options.Publish = true;
  std::vector<Quillmend::TPatchPlan> plans = Quillmend::CompilerOptimizationPlans();
  for (Quillmend::TPatchPlan& plan : plans) {
    Quillmend::TPlanVerdict verdict = Quillmend::DryRunPlan(plan, options);
    if (verdict.Applies) applies.push_back(plan.Name());
    if (plan.Name() == c.Patch) {
      EXPECT_EQ(verdict.Reason, c.Reason);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(CompilerOptimization, FailedSubPatch,
                         testing::Values(TReasonCase{"scope", Scope, L"SymLookupScope: pattern not found"},
                                         TReasonCase{"scope-layout", Scope,
                                                     L"SymLookupScope +0x19: 0x16C expected, 0x168 found"},
                                         TReasonCase{"imported-layout", Imported,
                                                     L"ImportedSymbol +0x0D: 0x16C expected, 0x168 found"},
                                         TReasonCase{"unlink", Reset, L"needs Compiler.UnlinkImports"}),
                         [](const testing::TestParamInfo<TReasonCase>& info) {
                           std::string name;
                           for (const char* p = info.param.Variant; *p; ++p) name += isalnum(*p) ? *p : '_';
                           return name;
                         });

}  // namespace
