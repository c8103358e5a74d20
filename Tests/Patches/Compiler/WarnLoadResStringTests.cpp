// "Compiler.WarnLoadResString" against the stand-in compiler: three ways,
// its patterns once at their sites, warnings 46 and 47 loading nothing
// while the filter hides them (each of its three conditions) and the same
// texts while it shows them, and the message list's header loaded once.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>
#include <windows.h>

#include "Framework/PatchRegistry.h"
#include "Hooking/PatternSearch.h"
#include "Patches/Compiler/WarnLoadResStringPatch.h"
#include "DccStandIn.h"
#include "TestPaths.h"
#include "ThreeWayHarness.h"
#include "dcc150/DccWarningsDriver.h"

namespace {

using namespace DccWarningsDriver;
namespace Patterns = Quillmend::WarnLoadResStringPatterns;

const wchar_t* const Warn = L"Compiler.WarnLoadResString";

TCounters Counters() {
  TCounters counters = {};
  DccExport<CountersFn>(Export::Counters)(&counters);
  return counters;
}

// The filter's three settings.
struct TSettings {
  uint8_t Flags;
  uint32_t Switch;
  uint8_t Enabled46, Enabled47;
};

void Apply(const TSettings& settings) {
  *DccExport<uint8_t*>(Export::Flags) = settings.Flags;
  *DccExport<uint32_t*>(Export::Switch) = settings.Switch;
  DccExport<uint8_t*>(Export::Table)[46] = settings.Enabled46;
  DccExport<uint8_t*>(Export::Table)[47] = settings.Enabled47;
}

const TSettings Shown = {0x40, 0, 1, 1};

// A message list of `lines` lines, every third a warning: its checksum.
uint32_t MessageList(int lines) {
  std::vector<int32_t> kinds;
  for (int i = 0; i < lines; ++i) kinds.push_back(i % 3 == 0 ? 1 : 0);
  DccExport<ListLinesFn>(Export::ListLines)(kinds.data(), int32_t(kinds.size()));
  return DccExport<MessageListFn>(Export::MessageList)();
}

// Warnings shown and hidden and a message list: what the patch must not change.
std::string Exercise() {
  DccExport<ResetFn>(Export::Reset)();
  std::string trace;
  for (const TSettings& settings : {Shown, TSettings{0x40, 0, 0, 1}, TSettings{0x40, 0, 1, 0}, TSettings{0, 0, 1, 1}}) {
    Apply(settings);
    DccExport<BatchFn>(Export::Batch)(30);
    trace += std::to_string(Counters().Shown) + " " + std::to_string(Counters().Checksum) + " ";
  }
  Apply(Shown);
  return trace + std::to_string(MessageList(40));
}

const std::vector<TPatchRow> PatchRows = {{Warn, {}}};
const std::vector<TVariantRow> VariantRows = {
    {"warnfilter", {Warn}}, {"warn46", {Warn}}, {"warn47", {Warn}}, {"messagelist", {Warn}}};

const TThreeWaySubsystem& Warnings() {
  static const TThreeWaySubsystem subsystem{
      {L"dcc150.dll"}, nullptr, [] { Quillmend::InstallWarnLoadResStringPatch(); }, &Exercise, {Warn},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(WarnLoadResString, Warnings(), PatchRows, VariantRows)

class WarnLoadResStringBehaviour : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_NE(LoadLibraryW((BuildDirectory() + L"\\host\\dcc150.dll").c_str()), nullptr);
    SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
    DccExport<ResetFn>(Export::Reset)();
    Apply(Shown);
  }
  void TearDown() override { Apply(Shown); }
  static void Install() {
    Quillmend::InstallWarnLoadResStringPatch();
    ASSERT_TRUE(Quillmend::IsPatchApplied(Warn));
  }
  static uint8_t* Site(const char* name) {
    return static_cast<uint8_t*>(DccSite(name));
  }
};

// One warning of each kind under a setting: the filter's answers, the
// resource texts loaded, the shown texts' checksum.
struct TWarnRow {
  const char* Name;
  TSettings Settings;
  bool Shows46, Shows47;
};

const TWarnRow WarnRows[] = {
    {"both shown", Shown, true, true},
    {"46 off in the table", {0x40, 0, 0, 1}, false, true},
    {"47 off in the table", {0x40, 0, 1, 0}, true, false},
    {"warnings off (flag bit 0x40 clear, others set)", {0xBF, 0, 1, 1}, false, false},
    {"the switch set", {0x40, 1, 1, 1}, false, false},
    {"the switch's high byte set", {0xFF, 0x01000000, 1, 1}, false, false},
};

std::vector<std::string> WarnTraces(bool patched) {
  static const char generated[NameOffset + 8] = {};  // a name the compiler made up: empty
  std::vector<std::string> traces;
  for (const TWarnRow& row : WarnRows) {
    Apply(row.Settings);
    const TCounters before = Counters();
    const int32_t answer46 = DccExport<WarnFn>(Export::Warn46)(generated);
    const int32_t answer47 = DccExport<WarnFn>(Export::Warn47)(reinterpret_cast<const void*>(uintptr_t(4048)));
    const TCounters after = Counters();
    EXPECT_EQ(answer46, row.Shows46 ? 1 : 0) << row.Name;
    EXPECT_EQ(answer47, row.Shows47 ? 1 : 0) << row.Name;
    EXPECT_EQ(after.Shown - before.Shown, uint32_t(row.Shows46) + uint32_t(row.Shows47)) << row.Name;
    // Unpatched, both load their text whatever the filter says; patched
    // only the shown ones do.
    const uint32_t loads = patched ? uint32_t(row.Shows46) + uint32_t(row.Shows47) : 2;
    EXPECT_EQ(after.Loads - before.Loads, loads) << row.Name;
    traces.push_back(std::to_string(after.Checksum));
  }
  return traces;
}

} // namespace

TEST_F(WarnLoadResStringBehaviour, ThePatternsAreFoundOnceAtTheirSites) {
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  for (const auto& [pattern, site] : {std::pair{Patterns::Filter, "WarningFilter"}, std::pair{Patterns::Warn46, "Warn46"},
                                      std::pair{Patterns::Warn47, "Warn47"},
                                      std::pair{Patterns::MessageList, "MessageList"}}) {
    SCOPED_TRACE(site);
    const Quillmend::TBytePattern parsed = Quillmend::ParsePattern(pattern);
    auto* found = static_cast<uint8_t*>(Quillmend::FindMethodPtr(dcc, parsed, 0));
    EXPECT_EQ(found, Site(site));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(Quillmend::FindMethodPtr(found + 1, parsed, 0), nullptr);
  }
  // The filter's variables, as the patch reads them.
  uint8_t* filter = Site("WarningFilter");
  EXPECT_EQ(*reinterpret_cast<void**>(filter + Patterns::FilterFlags), DccExport<void*>(Export::Flags));
  EXPECT_EQ(*reinterpret_cast<void**>(filter + Patterns::FilterSwitch), DccExport<void*>(Export::Switch));
  EXPECT_EQ(*reinterpret_cast<void**>(filter + Patterns::FilterTable), DccExport<void*>(Export::Table));
}

TEST_F(WarnLoadResStringBehaviour, HiddenWarningsLoadNothingShownOnesTheSameTexts) {
  const std::vector<std::string> host = WarnTraces(false);
  Install();
  DccExport<ResetFn>(Export::Reset)();
  EXPECT_EQ(WarnTraces(true), host);
}

// A batch of named and made-up records and every text of warning 47.
TEST_F(WarnLoadResStringBehaviour, BatchesAsTheHostShowsThem) {
  Apply(Shown);
  DccExport<BatchFn>(Export::Batch)(200);
  const TCounters host = Counters();
  Apply({0x40, 0, 0, 0});
  DccExport<BatchFn>(Export::Batch)(200);
  EXPECT_GT(Counters().Loads, host.Loads);
  DccExport<ResetFn>(Export::Reset)();
  Install();
  Apply(Shown);
  DccExport<BatchFn>(Export::Batch)(200);
  const TCounters patched = Counters();
  EXPECT_EQ(patched.Shown, host.Shown);
  EXPECT_EQ(patched.Checksum, host.Checksum);
  EXPECT_EQ(patched.Loads, host.Loads);
  Apply({0x40, 0, 0, 0});
  DccExport<BatchFn>(Export::Batch)(200);
  EXPECT_EQ(Counters().Loads, patched.Loads);
  EXPECT_EQ(Counters().Shown, patched.Shown);
}

TEST_F(WarnLoadResStringBehaviour, TheMessageListLoadsItsHeaderOnce) {
  const uint32_t host = MessageList(300);
  EXPECT_EQ(Counters().Loads, 100u);
  Install();
  DccExport<ResetFn>(Export::Reset)();
  EXPECT_EQ(MessageList(300), host);
  EXPECT_EQ(Counters().Loads, 1u);
  EXPECT_EQ(MessageList(300), host);
  EXPECT_EQ(Counters().Loads, 1u);
}

// The cache against the compiler's own routine: a changing id loads again,
// the caller's buffer is left alone, the answer is the text of its id.
TEST_F(WarnLoadResStringBehaviour, TheCacheAnswersTheLastIdOnly) {
  const struct {
    uint32_t Id;
    uint32_t Loads;  // loaded so far
  } rows[] = {{4047, 1}, {4047, 1}, {4048, 2}, {4047, 3}, {4000, 4}, {4000, 4}, {4999, 5}, {4999, 5}, {4050, 6}};
  std::vector<std::string> texts;
  for (const auto& row : rows) {
    char buffer[256];
    texts.push_back(DccExport<LoadResStringFn>(Export::LoadResString)(row.Id, buffer));
  }
  EXPECT_EQ(texts[0], "Unit scope name resolved by search path");
  EXPECT_EQ(texts[6], "");
  Install();
  DccExport<ResetFn>(Export::Reset)();
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].Id);
    char caller[256];
    std::memset(caller, 0x5A, sizeof caller);
    EXPECT_EQ(Quillmend::CachedLoadResString(rows[i].Id, caller), texts[i]);
    EXPECT_EQ(Counters().Loads, rows[i].Loads);
    EXPECT_EQ(caller[0], 0x5A);
  }
}
