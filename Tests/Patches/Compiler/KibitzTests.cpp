// Code insight's patches against the stand-in IDE package and compiler in
// this process: "IDE.KibitzNoClearUnitCache" with its sub-patch and
// "ErrorInsight.SetKibitzedSinceCompiled" three ways (applied, disabled,
// builds without their exports or with other bytes), their patterns found
// once at their sites, and what each changes: completions no longer reload
// every unit, error-insight passes without a real code-insight compile no
// longer force a recompile, on the thread that made them only.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <windows.h>

#include "Common/CheckedCall.h"
#include "Common/HostRtl.h"
#include "Hooking/PatternSearch.h"
#include "Patches/Compiler/CompilerErrorInsightKibitzedFix.h"
#include "Patches/Compiler/IDEKibitzFix.h"
#include "Patches/Compiler/KibitzPatterns.h"
#include "TestPaths.h"
#include "ThreeWayHarness.h"
#include "dcc150/DccKibitzCounterDriver.h"
#include "delphicoreide150/KibitzDriver.h"

namespace {

const wchar_t* const Group = L"IDE.KibitzNoClearUnitCache";
const wchar_t* const Completion = L"IDE.KibitzNoClearUnitCache.InvokeCodeCompletion";
const wchar_t* const Kibitzed = L"ErrorInsight.SetKibitzedSinceCompiled";
const wchar_t* const Delphi = L"delphicoreide150.bpl";
const wchar_t* const Dcc = L"dcc150.dll";

template <class Fn>
Fn Export(const wchar_t* module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(module), name)));
}

struct TIde {
  KibitzDriver::ErrorInsightPassFn Pass = Export<KibitzDriver::ErrorInsightPassFn>(Delphi, KibitzDriver::Export::ErrorInsightPass);
  KibitzDriver::BuildFn Build = Export<KibitzDriver::BuildFn>(Delphi, KibitzDriver::Export::Build);
  KibitzDriver::SetKibitzedFn SetKibitzed = Export<KibitzDriver::SetKibitzedFn>(Delphi, KibitzDriver::Export::SetKibitzedSinceCompiled);
  KibitzDriver::InvokeCodeCompletionFn Invoke =
      Export<KibitzDriver::InvokeCodeCompletionFn>(Delphi, KibitzDriver::Export::InvokeCodeCompletion);
  KibitzDriver::NewManagerFn NewManager = Export<KibitzDriver::NewManagerFn>(Delphi, KibitzDriver::Export::NewManager);
  KibitzDriver::ManagerResultFn Result = Export<KibitzDriver::ManagerResultFn>(Delphi, KibitzDriver::Export::ManagerResult);
  KibitzDriver::UnitLoadsFn Loads = Export<KibitzDriver::UnitLoadsFn>(Delphi, KibitzDriver::Export::UnitLoads);
  DccKibitzCounterDriver::GetUnitCmdLineFn GetUnit =
      Export<DccKibitzCounterDriver::GetUnitCmdLineFn>(Dcc, DccKibitzCounterDriver::Export::GetUnitCmdLine);
  DccKibitzCounterDriver::ResetFn Reset = Export<DccKibitzCounterDriver::ResetFn>(Dcc, DccKibitzCounterDriver::Export::Reset);
  uint32_t* Compiles = Export<uint32_t*>(Dcc, DccKibitzCounterDriver::Export::Compiles);
};

// What the patches must not change: the compiler's answers and the lists.
std::string Exercise() {
  TIde ide;
  std::string trace;
  if (ide.GetUnit) {
    ide.Reset();
    for (int p = 0; p < 12; ++p) trace += std::to_string(ide.Pass("Unit", p / 3));
    trace += " counted " + std::to_string(*ide.Compiles);
  }
  if (ide.Invoke) {
    void* manager = ide.NewManager(4, 12);
    const QmHost::HostRtl& rtl = *QmHost::LoadedHostRtl();
    for (const wchar_t* prefix : {L"it", L"", L"Count1", L"x"}) {
      wchar_t* text = rtl.NewString(prefix);
      int32_t count = 0;
      trace += " " + std::to_string(ide.Invoke(manager, KibitzDriver::InvokeManual, text));
      trace += "/" + std::to_string(ide.Result(manager, &count)) + "/" + std::to_string(count);
      rtl.Release(text);
    }
  }
  return trace;
}

void InstallBoth() {
  Quillmend::InstallIDEKibitzFix();
  Quillmend::InstallCompilerErrorInsightKibitzedFix();
}

const std::vector<TPatchRow> PatchRows = {{Group, {}}, {Completion, {Group}}, {Kibitzed, {}}};

const std::vector<TVariantRow> VariantRows = {
    {"invokecompletion", {Completion}},
    {"noinvokecompletion", {Completion}},
    {"nosetkibitzed", {Kibitzed}},
    {"nogetunitcmdline", {Kibitzed}},
    {"kibitzcounter", {Kibitzed}},
    // Its counter reads one variable and counts another, like the routine before it.
    {"kibitzcounter-twovars", {Kibitzed}},
};

const TThreeWaySubsystem& Kibitz() {
  static const TThreeWaySubsystem subsystem{
      {L"rtl150.bpl", L"coreide150.bpl", Delphi, Dcc},
      nullptr,
      &InstallBoth,
      &Exercise,
      {Group, Completion, Kibitzed},
      {Group},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(Kibitz, Kibitz(), PatchRows, VariantRows)

class KibitzStandIns : public testing::Test {
protected:
  void SetUp() override {
    for (const wchar_t* file : {L"rtl150.bpl", L"coreide150.bpl", Delphi, Dcc})
      ASSERT_NE(LoadLibraryW((BuildDirectory() + L"\\host\\" + file).c_str()), nullptr);
  }
  template <class Fn>
  static Fn PatternSite(const wchar_t* module, const char* exportName, const char* site) {
    return reinterpret_cast<Fn>(Export<void*(__stdcall*)(const char*)>(module, exportName)(site));
  }
};

} // namespace

// The cache reset is found once from the export within its window, at its
// site; the counter search passes over the routine before it, whose two
// variables differ, and stops at the counter, the only match whose variables agree.
TEST_F(KibitzStandIns, EachPatternIsFoundOnceAtItsSite) {
  using namespace Quillmend;
  auto* invoke = Export<uint8_t*>(Delphi, KibitzDriver::Export::InvokeCodeCompletion);
  const TBytePattern reset = ParsePattern(KibitzPatterns::InvokeCompletionReset);
  auto* found = static_cast<uint8_t*>(FindMethodPtr(invoke, reset, KibitzPatterns::InvokeCompletionWindow));
  EXPECT_EQ(found, PatternSite<uint8_t*>(Delphi, KibitzDriver::Export::PatternSite, "InvokeCodeCompletion"));
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(FindMethodPtr(GetModuleHandleW(Delphi), reset, 0), found);
  EXPECT_EQ(FindMethodPtr(found + 1, reset, 0), nullptr);
  EXPECT_EQ(found[KibitzPatterns::CacheClearCall], 0xFF);

  const TBytePattern counter = ParsePattern(KibitzPatterns::CodeInsightCounter);
  auto* site = PatternSite<uint8_t*>(Dcc, "DccPatternSite", "CodeInsightCounter");
  auto* first = static_cast<uint8_t*>(FindMethodPtr(GetModuleHandleW(Dcc), counter, 0));
  EXPECT_EQ(first, Export<uint8_t*>(Dcc, DccKibitzCounterDriver::Export::LinesBefore));
  int agreeing = 0;
  for (uint8_t* at = first; at; at = static_cast<uint8_t*>(FindMethodPtr(at + 1, counter, 0))) {
    if (*reinterpret_cast<uint32_t*>(at + 1) != *reinterpret_cast<uint32_t*>(at + 7)) continue;
    ++agreeing;
    EXPECT_EQ(at, site);
  }
  EXPECT_EQ(agreeing, 1);
}

namespace {

class KibitzBehaviour : public KibitzStandIns, public testing::WithParamInterface<bool> {
protected:
  void SetUp() override {
    KibitzStandIns::SetUp();
    Ide = TIde();
    SetEnvironmentVariableW(L"Quillmend.DisabledPatches", GetParam() ? L"" : L"*");
    InstallBoth();
    Ide.Reset();
    Ide.Build();
  }
  bool Patched() const { return GetParam(); }
  TIde Ide;
};

// One error-insight pass, then a build: whether the compiler compiled and
// whether the build recompiled.
struct TPassRow {
  const char* What;
  int32_t Version;   // the unit's source version at this pass
  int32_t Compiled;  // the compiler's answer
  int32_t RecompiledUnpatched, RecompiledPatched;
};

} // namespace

TEST_P(KibitzBehaviour, OnlyPassesThatCompiledForceARecompile) {
  const TPassRow rows[] = {
      {"first pass: compiled", 1, 1, 1, 1},
      {"same source: answered from the last compile", 1, 0, 1, 0},
      {"again the same", 1, 0, 1, 0},
      {"source changed: compiled", 2, 1, 1, 1},
      {"unchanged since", 2, 0, 1, 0},
  };
  const uint32_t before = *Ide.Compiles;
  int32_t compiled = 0;
  for (const TPassRow& row : rows) {
    SCOPED_TRACE(row.What);
    EXPECT_EQ(Ide.Pass("Proj.Unit1", row.Version), row.Compiled);
    compiled += row.Compiled;
    EXPECT_EQ(Ide.Build(), Patched() ? row.RecompiledPatched : row.RecompiledUnpatched);
  }
  // The counter counts as the host's did, through the replacement too.
  EXPECT_EQ(*Ide.Compiles - before, uint32_t(compiled));
}

// A pass on one thread that did not compile swallows that thread's next
// SetKibitzedSinceCompiled only; another thread's goes through.
TEST_P(KibitzBehaviour, TheSuppressionBelongsToTheThreadOfThePass) {
  ASSERT_EQ(Ide.GetUnit("Proj.Unit2", 1), 1);
  ASSERT_EQ(Ide.GetUnit("Proj.Unit2", 1), 0);
  std::thread other([&] { Ide.SetKibitzed(1); });
  other.join();
  EXPECT_EQ(Ide.Build(), 1);
  Ide.SetKibitzed(1);
  EXPECT_EQ(Ide.Build(), Patched() ? 0 : 1);
  // Used up: the next one counts again.
  Ide.SetKibitzed(1);
  EXPECT_EQ(Ide.Build(), 1);
}

// The export from another module: SetAllowKibitzedFlag(False) swallows the
// next SetKibitzedSinceCompiled where the patch guards it, (True) lets it through.
TEST_P(KibitzBehaviour, SetAllowKibitzedFlagDecidesTheNextCall) {
  Quillmend::SetAllowKibitzedFlag(0);
  Ide.SetKibitzed(1);
  EXPECT_EQ(Ide.Build(), Patched() ? 0 : 1);
  Quillmend::SetAllowKibitzedFlag(0);
  Quillmend::SetAllowKibitzedFlag(1);
  Ide.SetKibitzed(1);
  EXPECT_EQ(Ide.Build(), 1);
}

// The compiler's export is called as stdcall with its two arguments through
// the hook: the stack is left as the host's routine leaves it.
TEST_P(KibitzBehaviour, TheCompilersExportKeepsItsStack) {
  int imbalance = -1;
  EXPECT_EQ(QmHost::CallStdcallChecked(reinterpret_cast<const void*>(Ide.GetUnit), imbalance, "Proj.Unit3", 7), 1u);
  EXPECT_EQ(imbalance, 0);
  EXPECT_EQ(QmHost::CallStdcallChecked(reinterpret_cast<const void*>(Ide.GetUnit), imbalance, "Proj.Unit3", 7), 0u);
  EXPECT_EQ(imbalance, 0);
  EXPECT_EQ(Quillmend::KibitzedSuppressed(), Patched());
}

// Every completion but the timer's cleared the unit cache, so each loaded
// every unit again; patched, units are loaded once and the lists are the same.
TEST_P(KibitzBehaviour, CompletionsKeepTheUnitCache) {
  constexpr int Units = 5;
  void* manager = Ide.NewManager(Units, 30);
  const QmHost::HostRtl& rtl = *QmHost::LoadedHostRtl();
  const struct {
    uint8_t Invoke;
    const wchar_t* Text;
    int32_t Length;
    uint32_t LoadsUnpatched;
  } rows[] = {
      {KibitzDriver::InvokeManual, L"it", 25, Units},  // Item0, Item6, ... per unit
      {KibitzDriver::InvokeAuto, L"Count", 25, Units},
      {KibitzDriver::InvokeTimer, L"na", 25, 0},  // the timer's keeps the cache
      {KibitzDriver::InvokeArgument, L"", 150, Units},
      {KibitzDriver::InvokeManual, L"INDEX1", 15, Units},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << int(row.Invoke) << " " << std::string(row.Text, row.Text + wcslen(row.Text)));
    const uint32_t loads = Ide.Loads();
    wchar_t* text = rtl.NewString(row.Text);
    EXPECT_EQ(Ide.Invoke(manager, row.Invoke, text), row.Length);
    rtl.Release(text);
    const uint32_t loaded = Ide.Loads() - loads;
    const bool first = &row == &rows[0];
    EXPECT_EQ(loaded, Patched() && !first ? 0u : row.LoadsUnpatched);
  }
}

INSTANTIATE_TEST_SUITE_P(Kibitz, KibitzBehaviour, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Patched" : "Unpatched"; });
