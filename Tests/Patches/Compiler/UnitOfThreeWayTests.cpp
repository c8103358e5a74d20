// The unit-of-address index and the symbol lookup tables three ways against
// the stand-in compiler: applied (every phase of the compiler workload, the
// unit-of-address and symbol questions included, answers as unpatched),
// disabled (nothing of it written), and against compiler builds whose bytes
// differ (it and what builds on it failed, nothing of theirs written); the
// code is restored byte for byte afterwards.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "Framework/PatchRegistry.h"
#include "Hooking/CodeTransaction.h"
#include "Patches/Compiler/CompilerOptimizationGetUnitOf.h"
#include "Patches/Compiler/SymLookupHash.h"
#include "StandInCompiler.h"
#include "ThreeWayHarness.h"

using Quillmend::TDccUnit;

namespace {

const wchar_t* const GetUnitOf = L"Compiler.GetUnitOf";
const wchar_t* const Imports = L"Compiler.GetUnitOf.Imports";
const wchar_t* const SymLookup = L"Compiler.SymLookup";
const wchar_t* const MemoryManagerError = L"Compiler.GetUnitOf.MemoryManagerError";

const std::vector<TPatchRow> PatchRows = {
    {GetUnitOf, {}},
    {Imports, {GetUnitOf}},
    {SymLookup, {GetUnitOf}},
};

const std::vector<std::wstring> AllThree = {GetUnitOf, Imports, SymLookup};

// A pattern of G..N2 missing: both index patches (and the tables, which
// need the index's notifications); an imported-symbol place: that patch
// only; a place of the symbol lookup: the tables only. The allocator M is
// needed only when the compiler's memory manager is in use, as it is after
// the workload has run once.
const std::vector<TVariantRow> VariantRows = {
    {"zoneg", AllThree},   {"zonea", AllThree},   {"zonef", AllThree},    {"zonep", AllThree},
    {"zonec", AllThree},   {"zonek", AllThree},   {"zoneu", AllThree},    {"zonew1", AllThree},
    {"zonew2", AllThree},  {"zonen1", AllThree},  {"zonew3", AllThree},   {"zonen2", AllThree},
    {"zonem", AllThree},   {"importi1", {Imports}}, {"importi2", {Imports}}, {"importi3", {Imports}},
    {"importi4", {Imports}}, {"importi5", {Imports}}, {"importi6", {Imports}}, {"lookupa", {SymLookup}},
    {"lookupb", {SymLookup}}, {"lookupc", {SymLookup}},
    // What no byte pattern sees: K's further walks in another form, an inline
    // search over another chain, the symbol chains at another offset, the
    // inner loop's step going back elsewhere.
    {"zone-walk", AllThree, [] { StandIn::AlterOperand("ContextOf", 0x2C, 0x1874DB0B); }},  // or ebx,ebx; je
    {"zone-chain", AllThree,
     [] { StandIn::AlterOperand("OfCurrentUnit", 0x14, StandIn::ExportAddress("DccScratchContexts")); }},
    {"import-layout", {Imports}, [] { StandIn::AlterOperand("SymbolReference", 0x12, 0x168); }},
    {"lookup-layout", {SymLookup}, [] { StandIn::AlterOperand("ScopeLookup", 0x32, 0x168); }},
    {"lookup-loop", {SymLookup}, [] { StandIn::AlterOperand("SymLookupUnitNext", 0x07, 0x1B - 0xBE); }},
};

constexpr int Units = 120;
constexpr int ImportCount = 15;
constexpr uint32_t RandomSeed = 11;
constexpr StandIn::TQuestionCounts Questions = {3000, 4000};

void InstallIndexAndTables() {
  Quillmend::InstallGetUnitOf();
  Quillmend::InstallSymLookupHash();
}

const TThreeWaySubsystem& UnitOf() {
  static const TThreeWaySubsystem subsystem{
      {L"dcc150.dll"},
      [] { StandIn::BindLoaded(); },
      &InstallIndexAndTables,
      [] { return StandIn::RunQuestionWorkload(Units, ImportCount, RandomSeed, Questions); },
      AllThree,
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(CompilerUnitOf, UnitOf(), PatchRows, VariantRows)

std::wstring Status(const std::wstring& patch) { return StandIn::PatchStatus(patch); }

const Quillmend::TPatchReport* Report(const std::vector<Quillmend::TPatchReport>& reports, const std::wstring& patch) {
  for (const Quillmend::TPatchReport& report : reports)
    if (report.Name == patch) return &report;
  return nullptr;
}

// The allocator's variant: before the compiler has used its memory the index
// applies without it; once it has, the error entry is listed beside the
// failed patch and nothing is written (the harness row above).
TEST(CompilerUnitOf, WithoutTheAllocatorAppliesOnlyBeforeTheMemoryManagerIsUsed) {
  StandIn::Load("zonem");
  InstallIndexAndTables();
  EXPECT_EQ(Status(GetUnitOf), L"applied");
  EXPECT_EQ(Status(MemoryManagerError), L"");
  const std::string patched = StandIn::RunQuestionWorkload(Units, ImportCount, RandomSeed, Questions);
  Quillmend::UndoAllTransactions();
  Quillmend::ResetGetUnitOf();
  EXPECT_EQ(StandIn::RunQuestionWorkload(Units, ImportCount, RandomSeed, Questions), patched);
}

TEST(CompilerUnitOf, TheAllocatorMissingWhileInUseListsTheError) {
  StandIn::Load("zonem");
  StandIn::RunQuestionWorkload(40, 5, RandomSeed, {100, 100});
  std::vector<uint8_t> code = StandIn::CodeBytes();
  InstallIndexAndTables();
  const std::vector<Quillmend::TPatchReport> reports = Quillmend::PatchReports();
  const Quillmend::TPatchReport* error = Report(reports, MemoryManagerError);
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->Description, L"GetUnitOf: Compiler memory manager is already initialized");
  EXPECT_EQ(error->Status, Quillmend::psFailed);
  EXPECT_EQ(Status(GetUnitOf), L"failed");
  EXPECT_TRUE(StandIn::CodeBytes() == code);
}

// Installed while a project is loaded and the compiler's memory is in use
// (its contexts converted) or before anything was loaded: the same answers
// as the compiler gives unpatched.
TEST(CompilerUnitOf, InstalledAfterAWorkloadRanAnswersAsBeforeOne) {
  StandIn::Load();
  const StandIn::TDriver& d = StandIn::Driver();
  auto run = [&d](bool installHalfWay) {
    std::string text;
    d.PrepareProject(Units, ImportCount, RandomSeed);
    d.LoadPrepared();
    d.PrepareUnitOf(2000, RandomSeed);
    d.PrepareSymbols(2000, RandomSeed);
    d.RunUnitOf(nullptr, nullptr);
    d.RunSymbolLookups(0, 1000);
    if (installHalfWay) InstallIndexAndTables();
    text += std::to_string(d.Checksum()) + " ";
    d.RunUnitOf(nullptr, nullptr);
    d.ReloadLargeScopeUnits();
    d.RunSymbolLookups(1000, 1000);
    text += std::to_string(d.Checksum()) + " ";
    d.MarkOutdated(30, RandomSeed);
    d.Reset();
    d.Recompile();
    d.FreeAll();
    text += std::to_string(d.Checksum());
    return text;
  };
  const std::string unpatched = run(false);
  EXPECT_EQ(run(true), unpatched);
  EXPECT_EQ(Status(GetUnitOf), L"applied");
  EXPECT_EQ(Status(SymLookup), L"applied");
  EXPECT_EQ(run(false), unpatched);
}

// Question by question: each answer of the patched compiler is the
// unpatched one (the failing kinds are named).
TEST(CompilerUnitOf, EveryQuestionAnswersAsUnpatched) {
  StandIn::Load();
  const StandIn::TDriver& d = StandIn::Driver();
  d.PrepareProject(Units, ImportCount, RandomSeed);
  d.LoadPrepared();
  const int count = d.PrepareUnitOf(6000, RandomSeed);
  std::vector<uint32_t> unpatched(static_cast<size_t>(count)), patched(static_cast<size_t>(count));
  std::vector<uint8_t> kinds(static_cast<size_t>(count));
  d.RunUnitOf(unpatched.data(), kinds.data());
  InstallIndexAndTables();
  ASSERT_EQ(Status(GetUnitOf), L"applied");
  ASSERT_EQ(Status(Imports), L"applied");
  d.RunUnitOf(patched.data(), nullptr);
  int wrong[16] = {};
  for (int i = 0; i < count; ++i) wrong[kinds[size_t(i)] & 15] += patched[size_t(i)] != unpatched[size_t(i)];
  for (int kind = 0; kind < 16; ++kind) EXPECT_EQ(wrong[kind], 0) << "question kind " << kind;
}

// Everything released, but the memory manager was used: its free ranges are
// descriptors of the old size too. Without the allocator the index cannot
// replace them and is not installed; with it they are replaced as well and
// the compiler keeps answering as unpatched.
void ReleaseEverything() {
  const StandIn::TDriver& d = StandIn::Driver();
  const StandIn::TVariables& v = StandIn::Variables();
  StandIn::RunQuestionWorkload(40, 5, RandomSeed, {200, 200});
  d.ReleaseTables();
  ASSERT_EQ(*v.Contexts, nullptr);
  ASSERT_EQ(*v.ScratchContexts, nullptr);
  ASSERT_NE(*v.FreeRanges, nullptr);
}

TEST(CompilerUnitOf, ReleasedMemoryStillNeedsTheAllocator) {
  StandIn::Load("zonem");
  ReleaseEverything();
  std::vector<uint8_t> code = StandIn::CodeBytes();
  InstallIndexAndTables();
  EXPECT_EQ(Status(GetUnitOf), L"failed");
  EXPECT_EQ(Status(MemoryManagerError), L"failed");
  EXPECT_TRUE(StandIn::CodeBytes() == code);
}

TEST(CompilerUnitOf, ReleasedMemoryIsConvertedToo) {
  StandIn::Load();
  ReleaseEverything();
  const std::string unpatched = StandIn::RunQuestionWorkload(Units, ImportCount, RandomSeed, Questions);
  StandIn::Driver().ReleaseTables();
  InstallIndexAndTables();
  ASSERT_EQ(Status(GetUnitOf), L"applied");
  EXPECT_EQ(StandIn::RunQuestionWorkload(Units, ImportCount, RandomSeed, Questions), unpatched);
  EXPECT_EQ(StandIn::RunQuestionWorkload(Units, ImportCount, RandomSeed, Questions), unpatched);
}

// The places whose rewrites would not fit the compiler's code are found
// (the imports patch needs them) and left as they are.
TEST(CompilerUnitOf, TheKnownUnitAndImportUnitPlacesStayTheCompilers) {
  StandIn::Load();
  const std::vector<uint8_t> known = StandIn::SiteBytes("ResolveUseKnown", 0, 0x7F);
  const std::vector<uint8_t> importUnit = StandIn::SiteBytes("ResolveUseImportUnit", 0, 0x61);
  InstallIndexAndTables();
  ASSERT_EQ(Status(Imports), L"applied");
  EXPECT_TRUE(StandIn::SiteBytes("ResolveUseKnown", 0, 0x7F) == known);
  EXPECT_TRUE(StandIn::SiteBytes("ResolveUseImportUnit", 0, 0x61) == importUnit);
}

// A reference that no unit's imports hold (one of a record of the further
// lists) is searched from the current unit on, and not found, as unpatched;
// with no current unit it is not searched at all.
TEST(CompilerUnitOf, AReferenceNoUnitHoldsIsNotFound) {
  StandIn::Load();
  const StandIn::TDriver& d = StandIn::Driver();
  const StandIn::TVariables& v = StandIn::Variables();
  d.PrepareProject(Units, ImportCount, RandomSeed);
  d.LoadPrepared();
  TDccUnit* record = d.NewRecord(1, "Design.Extra", 900000, 7);
  d.Import(record, "Proj.Unit00010");
  d.PrepareUnitOf(10, RandomSeed);
  auto referenceOf = [](TDccUnit* holder) {
    return *reinterpret_cast<void**>(reinterpret_cast<uint8_t*>(holder->Imports) + 0x0C);
  };
  TDccUnit* unit = d.UnitFind("Proj.Unit00051");
  ASSERT_NE(referenceOf(record), nullptr);
  ASSERT_NE(referenceOf(unit), nullptr);
  constexpr int ReferenceOwner = 7;
  auto ask = [&](TDccUnit* current, void* reference) {
    *v.CurrentUnit = current;
    uint32_t answer = d.AskUnitOf(ReferenceOwner, reference, nullptr, 0);
    *v.CurrentUnit = nullptr;
    return answer;
  };
  TDccUnit* first = *v.UnitListHead;
  const uint32_t answers[] = {ask(first, referenceOf(record)), ask(nullptr, referenceOf(record)),
                              ask(unit, referenceOf(unit)), ask(nullptr, referenceOf(unit))};
  EXPECT_EQ(answers[0], 0xFFFFFFFFu);
  EXPECT_EQ(answers[2], 51u);
  InstallIndexAndTables();
  ASSERT_EQ(Status(Imports), L"applied");
  EXPECT_EQ(ask(first, referenceOf(record)), answers[0]);
  EXPECT_EQ(ask(nullptr, referenceOf(record)), answers[1]);
  EXPECT_EQ(ask(unit, referenceOf(unit)), answers[2]);
  EXPECT_EQ(ask(nullptr, referenceOf(unit)), answers[3]);
}

struct TReasonCase {
  const char* Variant;
  const wchar_t* Patch;
  const wchar_t* Reason;
};

class FailedUnitOfPatch : public testing::TestWithParam<TReasonCase> {};

// A dry run over the variant says why, as the installation would.
TEST_P(FailedUnitOfPatch, SaysWhy) {
  const TReasonCase& c = GetParam();
  const TVariantRow* row = nullptr;
  for (const TVariantRow& r : VariantRows)
    if (r.Variant == c.Variant) row = &r;
  ASSERT_NE(row, nullptr);
  TThreeWayRun run(UnitOf());
  if (row->Alter) {
    run.Load("", row->Alter);
  } else {
    run.Load(row->Variant);
  }
  std::vector<Quillmend::TPatchPlan> plans;
  plans.push_back(Quillmend::GetUnitOfPlan());
  plans.push_back(Quillmend::GetUnitOfImportsPlan());
  plans.push_back(Quillmend::SymLookupPlan());
  Quillmend::TDryRunOptions options;
  options.IsApplied = [](const std::wstring& name) { return name == GetUnitOf; };
  for (Quillmend::TPatchPlan& plan : plans)
    if (plan.Name() == c.Patch) {
      EXPECT_EQ(Quillmend::DryRunPlan(plan, options).Reason, c.Reason);
    }
}

INSTANTIATE_TEST_SUITE_P(
    CompilerUnitOf, FailedUnitOfPatch,
    testing::Values(
        TReasonCase{"zonek", GetUnitOf, L"ContextOf: pattern not found"},
        TReasonCase{"zone-walk", GetUnitOf, L"ContextOf +0x26: 8B 1D ?? ?? ?? ?? 85 DB 74 18 8B D6 8B C3 E8 expected"},
        TReasonCase{"import-layout", Imports, L"SymbolReference +0x12: 0x16C expected, 0x168 found"},
        TReasonCase{"importi6", Imports, L"ResolveImportUnit: pattern not found"},
        TReasonCase{"lookup-layout", SymLookup, L"SymLookupA +0x32: 0x16C expected, 0x168 found"},
        TReasonCase{"lookup-loop", SymLookup, L"SymLookupC +0x05: jump back to SymLookupB +0x17 expected"}),
    [](const testing::TestParamInfo<TReasonCase>& info) {
      std::string name;
      for (const char* p = info.param.Variant; *p; ++p) name += isalnum(*p) ? *p : '_';
      return name;
    });

TEST(CompilerUnitOf, SymbolTablesNeedTheIndexNotifications) {
  StandIn::Load();
  std::vector<uint8_t> code = StandIn::CodeBytes();
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", GetUnitOf);
  InstallIndexAndTables();
  for (const Quillmend::TPatchReport& report : Quillmend::PatchReports())
    if (report.Name == SymLookup) {
      EXPECT_EQ(report.Reason, L"needs Compiler.GetUnitOf");
    }
  EXPECT_EQ(Status(SymLookup), L"failed");
  EXPECT_TRUE(StandIn::CodeBytes() == code);
}

}  // namespace
