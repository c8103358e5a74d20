// Patch plans and their code transactions on a stand-in "module" of our own:
// three pages of executable memory holding a few routines. Every case checks
// the bytes themselves, not only what the plan reports.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>
#include <windows.h>

#include "Framework/PatchPlan.h"
#include "Framework/PatchRegistry.h"
#include "Hooking/CodeTransaction.h"

using namespace Quillmend;

namespace {

constexpr size_t PageSize = 0x1000;

// Page 0: a routine `mov eax, 1234; ret` at +0x10, filler, and the pattern
// "11 22 33 44 55" at +0x40; page 1 and 2: filler.
struct TFakeModule {
  uint8_t* Base = nullptr;
  TFakeModule() {
    Base = static_cast<uint8_t*>(VirtualAlloc(nullptr, 3 * PageSize, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
    std::memset(Base, 0x90, 3 * PageSize);
    const uint8_t routine[] = {0xB8, 0xD2, 0x04, 0x00, 0x00, 0xC3};
    std::memcpy(Base + 0x10, routine, sizeof routine);
    const uint8_t marker[] = {0x11, 0x22, 0x33, 0x44, 0x55};
    std::memcpy(Base + 0x40, marker, sizeof marker);
    const uint8_t constant[] = {0x78, 0x56, 0x34, 0x12};
    std::memcpy(Base + 0x48, constant, sizeof constant);
    // A hot-patchable function at +0x400 (filler before it): mov edi,edi; mov eax,42; ret.
    const uint8_t hotPatchable[] = {0x8B, 0xFF, 0xB8, 0x2A, 0x00, 0x00, 0x00, 0xC3};
    std::memcpy(Base + 0x400, hotPatchable, sizeof hotPatchable);
  }
  std::vector<uint8_t> Bytes() const { return std::vector<uint8_t>(Base, Base + 3 * PageSize); }
  int Call() const { return reinterpret_cast<int(__cdecl*)()>(Base + 0x10)(); }
};

TFakeModule& Fake() {
  static TFakeModule module;
  return module;
}

HMODULE ResolveFake(const wchar_t* name) {
  return std::wstring(name) == L"fake.dll" ? reinterpret_cast<HMODULE>(Fake().Base) : nullptr;
}

class PatchPlan : public testing::Test {
protected:
  void SetUp() override {
    SetPlanModuleResolver(&ResolveFake);
    Original = Fake().Bytes();
  }
  void TearDown() override { SetPlanModuleResolver(nullptr); }

  std::wstring ReasonOf(const std::wstring& name) {
    for (const TPatchReport& report : PatchReports())
      if (report.Name == name) return report.Reason;
    return L"<not registered>";
  }
  std::vector<uint8_t> Original;
};

TPatchPlan MarkerPlan(const wchar_t* name) {
  TPatchPlan plan(name, L"writes over the marker");
  TSiteRef marker = plan.Pattern(L"Marker", L"fake.dll", "11 22 33 44 55", 0);
  plan.WriteBytes(marker, 0, "AA BB");
  plan.WriteBytes(marker, 0x10, "CC");
  return plan;
}

TEST_F(PatchPlan, AMissingLastSiteWritesNothing) {
  TPatchPlan plan = MarkerPlan(L"IDE.TestLastSite");
  plan.Pattern(L"Absent", L"fake.dll", "DE AD BE EF 01", 0);
  EXPECT_FALSE(InstallPlan(plan));
  EXPECT_EQ(Fake().Bytes(), Original);
  EXPECT_EQ(ReasonOf(L"IDE.TestLastSite"), L"Absent: pattern not found");
  EXPECT_FALSE(IsPatchApplied(L"IDE.TestLastSite"));
  EXPECT_EQ(CommittedRanges().size(), 0u);
}

// An optional pattern that is missing leaves its site null and the plan
// applying; an expectation decides when it is needed.
TEST_F(PatchPlan, AnOptionalPatternIsNullWhenMissing) {
  for (bool needed : {false, true}) {
    TPatchPlan plan = MarkerPlan(needed ? L"IDE.TestOptionalNeeded" : L"IDE.TestOptional");
    TSiteRef present = plan.OptionalPattern(L"Present", L"fake.dll", "11 22 33 44 55", 0);
    TSiteRef absent = plan.OptionalPattern(L"Absent", L"fake.dll", "DE AD BE EF 01", 0);
    plan.Expect(L"Absent: needed here", [=](const TPlanValues& v) { return !needed || v.Site(absent); });
    TPlanVerdict verdict = DryRunPlan(plan);
    EXPECT_EQ(verdict.Applies, !needed);
    EXPECT_EQ(verdict.Values.Site(present), Fake().Base + 0x40);
    EXPECT_EQ(verdict.Values.Site(absent), nullptr);
    if (needed) {
      EXPECT_EQ(verdict.Reason, L"Absent: needed here");
    }
    EXPECT_EQ(plan.PatternSearches().size(), 3u);  // the searches the check makes ahead of time
  }
  EXPECT_EQ(Fake().Bytes(), Original);
}

TEST_F(PatchPlan, AFailedExpectationAfterTheEditsWritesNothing) {
  TPatchPlan plan = MarkerPlan(L"IDE.TestExpectation");
  TSiteRef marker = plan.Pattern(L"Marker", L"fake.dll", "11 22 33 44 55", 0);
  plan.ExpectU32(marker, 8, 0x12345678);
  plan.ExpectU32(marker, 8, 0x12345679);
  EXPECT_FALSE(InstallPlan(plan));
  EXPECT_EQ(Fake().Bytes(), Original);
  EXPECT_EQ(ReasonOf(L"IDE.TestExpectation"), L"Marker +0x08: 0x12345679 expected, 0x12345678 found");
}

TEST_F(PatchPlan, AppliedWritesEveryEditAndTheUndoPutsThemBack) {
  TPatchPlan plan = MarkerPlan(L"IDE.TestApplied");
  EXPECT_TRUE(InstallPlan(plan));
  EXPECT_EQ(Fake().Base[0x40], 0xAA);
  EXPECT_EQ(Fake().Base[0x41], 0xBB);
  EXPECT_EQ(Fake().Base[0x50], 0xCC);
  EXPECT_EQ(CommittedRanges().size(), 2u);
  UndoAllTransactions();
  EXPECT_EQ(Fake().Bytes(), Original);
  EXPECT_TRUE(UndoReports().empty());
}

TEST_F(PatchPlan, TwoPlansEditingTheSameBytesAreRefused) {
  TPatchPlan first = MarkerPlan(L"IDE.TestFirst");
  ASSERT_TRUE(InstallPlan(first));
  const std::vector<uint8_t> afterFirst = Fake().Bytes();
  TPatchPlan second(L"IDE.TestSecond", L"overlaps the first");
  TSiteRef nearMarker = second.Computed(L"Near marker", [](const TPlanValues&) { return Fake().Base + 0x3F; });
  second.WriteBytes(nearMarker, 0, "01 02 03");  // 0x3F..0x41 meets the first plan's 0x40..0x41
  EXPECT_FALSE(InstallPlan(second));
  EXPECT_EQ(ReasonOf(L"IDE.TestSecond"), L"Near marker +0x00: bytes already patched by IDE.TestFirst");
  EXPECT_EQ(Fake().Bytes(), afterFirst);
}

TPatchPlan WriteAt(const wchar_t* name, size_t offset, const char* bytes) {
  TPatchPlan plan(name, L"writes at an offset");
  TSiteRef site = plan.Computed(L"Site", [offset](const TPlanValues&) { return Fake().Base + offset; });
  plan.WriteBytes(site, 0, bytes);
  return plan;
}

TEST_F(PatchPlan, TwoPatchesOnOneRoutineAreUndoneInReverseOrder) {
  TPatchPlan redirect(L"IDE.TestRedirect", L"redirects the routine");
  TSiteRef routine = redirect.Computed(L"Routine", [](const TPlanValues&) { return Fake().Base + 0x10; });
  redirect.Redirect(routine, Fake().Base + 0x200);
  TPatchPlan tail = WriteAt(L"IDE.TestTail", 0x15, "C2 04 00");
  ASSERT_TRUE(InstallPlan(redirect));
  ASSERT_TRUE(InstallPlan(tail));
  const std::vector<TCommittedRange> ranges = CommittedRanges();
  ASSERT_EQ(ranges.size(), 2u);
  EXPECT_EQ(ranges[0].Owner, L"IDE.TestRedirect");
  EXPECT_EQ(ranges[1].Owner, L"IDE.TestTail");
  UndoAllTransactions();
  EXPECT_EQ(Fake().Bytes(), Original);
  EXPECT_TRUE(CommittedRanges().empty());
}

TEST_F(PatchPlan, BytesSomeoneElseWroteOverOursAreLeftAndReported) {
  TPatchPlan ours = WriteAt(L"IDE.TestOurs", 0x80, "01 02 03 04");
  TPatchPlan kept = WriteAt(L"IDE.TestKept", 0x90, "05 06");
  ASSERT_TRUE(InstallPlan(ours));
  ASSERT_TRUE(InstallPlan(kept));
  Fake().Base[0x82] = 0xF4;  // another hook on top of ours
  UndoAllTransactions();
  EXPECT_EQ(Fake().Base[0x80], 0x01);
  EXPECT_EQ(Fake().Base[0x82], 0xF4);
  EXPECT_EQ(Fake().Base[0x90], 0x90);  // the other patch is undone as usual
  const std::vector<std::wstring> reports = UndoReports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].rfind(L"IDE.TestOurs: bytes at ", 0), 0u);
}

int g_holders = 0;
bool HoldersLeft() { return g_holders > 0; }

TEST_F(PatchPlan, EditsInUseStayInPlaceUntilAnUndoFindsThemFree) {
  TPatchPlan held = WriteAt(L"IDE.TestHeld", 0xA0, "07 08");
  held.KeepInPlaceWhile(&HoldersLeft);
  TPatchPlan plain = WriteAt(L"IDE.TestPlain", 0xB0, "09");
  ASSERT_TRUE(InstallPlan(held));
  ASSERT_TRUE(InstallPlan(plain));
  g_holders = 2;
  UndoAllTransactions();
  EXPECT_EQ(Fake().Base[0xA0], 0x07);  // still in use: left in place
  EXPECT_EQ(Fake().Base[0xB0], 0x90);  // the other patch is undone as usual
  ASSERT_EQ(CommittedRanges().size(), 1u);
  EXPECT_EQ(UndoReports(), std::vector<std::wstring>{L"IDE.TestHeld: left in place, still in use"});
  UndoTransactionsOf(L"IDE.TestHeld");
  EXPECT_EQ(Fake().Base[0xA0], 0x07);
  g_holders = 0;
  UndoAllTransactions();
  EXPECT_EQ(Fake().Bytes(), Original);
  EXPECT_TRUE(CommittedRanges().empty());
}

TEST_F(PatchPlan, ARefusedWriteHalfWayRollsBackWhatTheCommitWrote) {
  // A view of a read-only section: readable, and no protection change makes it writable.
  HANDLE section = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READONLY, 0, PageSize, nullptr);
  ASSERT_NE(section, nullptr);
  auto* view = static_cast<uint8_t*>(MapViewOfFile(section, FILE_MAP_READ, 0, 0, PageSize));
  ASSERT_NE(view, nullptr);
  TCodeTransaction transaction(L"IDE.TestHalfWay");
  ASSERT_TRUE(transaction.Stage(Fake().Base + 0x100, {0xAB, 0xCD}, L"first"));
  ASSERT_TRUE(transaction.Stage(Fake().Base + 0x1000, {0xEF}, L"second"));
  ASSERT_TRUE(transaction.Stage(view + 0x10, {0x12}, L"refused"));
  EXPECT_FALSE(transaction.Commit());
  EXPECT_EQ(transaction.Reason().rfind(L"refused: write refused", 0), 0u) << std::string(transaction.Reason().begin(), transaction.Reason().end());
  EXPECT_EQ(Fake().Bytes(), Original);
  EXPECT_EQ(view[0x10], 0);
  EXPECT_TRUE(CommittedRanges().empty());
  UnmapViewOfFile(view);
  CloseHandle(section);
}

TEST_F(PatchPlan, ADryRunWritesNothingAndAgreesWithTheInstallation) {
  TPatchPlan applies = MarkerPlan(L"IDE.TestApplies");
  TPatchPlan fails = MarkerPlan(L"IDE.TestFails");
  TSiteRef marker = fails.Pattern(L"Marker", L"fake.dll", "11 22 33 44 55", 0);
  fails.ExpectU8(marker, 0, 0x12);
  const TPlanVerdict dryApplies = DryRunPlan(applies);
  const TPlanVerdict dryFails = DryRunPlan(fails);
  EXPECT_EQ(Fake().Bytes(), Original);
  EXPECT_FALSE(IsPatchRegistered(L"IDE.TestApplies"));
  EXPECT_TRUE(dryApplies.Applies);
  EXPECT_FALSE(dryFails.Applies);
  EXPECT_EQ(dryFails.Reason, L"Marker +0x00: 0x12 expected, 0x11 found");

  const TPlanVerdict installedFails = InstallPlanVerdict(fails);
  const TPlanVerdict installedApplies = InstallPlanVerdict(applies);
  EXPECT_EQ(installedFails.Reason, dryFails.Reason);
  EXPECT_TRUE(installedApplies.Applies);
  ASSERT_EQ(installedApplies.Edits.size(), dryApplies.Edits.size());
  for (size_t i = 0; i < dryApplies.Edits.size(); ++i) {
    EXPECT_EQ(installedApplies.Edits[i].Address, dryApplies.Edits[i].Address);
    EXPECT_EQ(installedApplies.Edits[i].NewBytes, dryApplies.Edits[i].NewBytes);
  }
  // Once applied, a dry run of the same plan sees its own bytes in the way.
  EXPECT_FALSE(DryRunPlan(applies).Applies);
}

int32_t __cdecl (*g_orgRoutine)() = nullptr;
int32_t __cdecl RoutinePlusOne() { return g_orgRoutine() + 1; }

TEST_F(PatchPlan, ARedirectWithAnOriginalCallReachesTheRoutineThroughItsTrampoline) {
  TPatchPlan plan(L"IDE.TestOrgCall", L"wraps the routine");
  TSiteRef routine = plan.Computed(L"Routine", [](const TPlanValues&) { return Fake().Base + 0x10; });
  plan.RedirectOrgCall(routine, &RoutinePlusOne, reinterpret_cast<void**>(&g_orgRoutine));
  ASSERT_TRUE(InstallPlan(plan));
  EXPECT_EQ(Fake().Call(), 1235);
  UndoAllTransactions();
  EXPECT_EQ(Fake().Call(), 1234);
  EXPECT_EQ(Fake().Bytes(), Original);
}

int32_t __cdecl (*g_orgHotPatchable)() = nullptr;
int32_t __cdecl HotPatchablePlusOne() { return g_orgHotPatchable() + 1; }
int32_t __cdecl ForeignHook() { return 1000; }

TPatchPlan HotPatchPlan(const wchar_t* name) {
  TPatchPlan plan(name, L"hooks a hot-patchable function");
  TSiteRef entry = plan.Computed(L"Function", [](const TPlanValues&) { return Fake().Base + 0x400; });
  plan.HookWinApi(entry, &HotPatchablePlusOne, reinterpret_cast<void**>(&g_orgHotPatchable));
  return plan;
}

int32_t CallHotPatchable() { return reinterpret_cast<int32_t(__cdecl*)()>(Fake().Base + 0x400)(); }

TEST_F(PatchPlan, AWin32HookUsesTheHotPatchRoomOrTakesOverAForeignHook) {
  TPatchPlan first = HotPatchPlan(L"IDE.TestWinApi");
  ASSERT_TRUE(InstallPlan(first));
  EXPECT_EQ(Fake().Base[0x400], 0xEB);  // the entry's no-op became the short jump back
  EXPECT_EQ(CallHotPatchable(), 43);
  UndoAllTransactions();
  EXPECT_EQ(Fake().Bytes(), Original);
  EXPECT_EQ(CallHotPatchable(), 42);

  // Someone else hot-patched it first: our hook goes in front and calls theirs.
  std::vector<uint8_t> foreign(7);
  foreign[0] = 0xE9;
  const int32_t displacement = int32_t(reinterpret_cast<uintptr_t>(&ForeignHook) - uintptr_t(Fake().Base + 0x3FB + 5));
  std::memcpy(&foreign[1], &displacement, 4);
  foreign[5] = 0xEB;
  foreign[6] = 0xF9;
  std::memcpy(Fake().Base + 0x3FB, foreign.data(), foreign.size());
  TPatchPlan second = HotPatchPlan(L"IDE.TestWinApiAgain");
  ASSERT_TRUE(InstallPlan(second));
  EXPECT_EQ(CallHotPatchable(), 1001);
  UndoAllTransactions();
  EXPECT_EQ(CallHotPatchable(), 1000);
  std::memcpy(Fake().Base + 0x3FB, Original.data() + 0x3FB, foreign.size());
}

TEST_F(PatchPlan, NeedsIgnoredAndDisabledPatches) {
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"IDE.TestDisabled");
  TPatchPlan disabled = MarkerPlan(L"IDE.TestDisabled");
  EXPECT_FALSE(InstallPlan(disabled));
  EXPECT_FALSE(IsPatchRegistered(L"IDE.TestDisabled"));
  TPatchPlan needing = MarkerPlan(L"IDE.TestNeeding");
  needing.Needs({L"IDE.TestDisabled"});
  EXPECT_FALSE(InstallPlan(needing));
  EXPECT_EQ(ReasonOf(L"IDE.TestNeeding"), L"needs IDE.TestDisabled");
  TPatchPlan ignored = MarkerPlan(L"IDE.TestIgnored");
  ignored.IgnoreWhen(L"not for this host", [](const TPlanValues&) { return true; });
  EXPECT_FALSE(InstallPlan(ignored));
  std::wstring text;
  GetPatchStatusText(false, text);
  EXPECT_EQ(text.find(L"IDE.TestIgnored"), std::wstring::npos);
  EXPECT_EQ(Fake().Bytes(), Original);
  EXPECT_EQ(FailedPatchReasons(), L"IDE.TestNeeding: needs IDE.TestDisabled");
}

// A C++ compiler patch runs again on every compiler load: on the same load
// it finds its own redirect in place and keeps it, trampoline included,
// instead of jumping over its own jump.
TPatchPlan WrapperPlan() {
  TPatchPlan plan(L"CppCompiler.TestWrapper", L"wraps the routine", TInstallMoment::CppCompilerLoad);
  TSiteRef routine = plan.Computed(L"Routine", [](const TPlanValues&) { return Fake().Base + 0x10; });
  plan.RedirectOrgCall(routine, &RoutinePlusOne, reinterpret_cast<void**>(&g_orgRoutine));
  TSiteRef marker = plan.Computed(L"Marker", [](const TPlanValues&) { return Fake().Base + 0x40; });
  plan.WriteBytes(marker, 0, "AA BB");
  return plan;
}

TEST_F(PatchPlan, InstalledAgainItKeepsWhatItWroteAndIsStillInPlace) {
  TPatchPlan first = WrapperPlan();
  ASSERT_TRUE(InstallPlan(first));
  const std::vector<uint8_t> patched = Fake().Bytes();
  void* trampoline = reinterpret_cast<void*>(g_orgRoutine);
  RemoveCppCompilerPatches();
  TPatchPlan second = WrapperPlan();
  TPlanVerdict verdict = InstallPlanVerdict(second);
  EXPECT_TRUE(verdict.Applies) << std::string(verdict.Reason.begin(), verdict.Reason.end());
  EXPECT_TRUE(verdict.Edits.empty());
  EXPECT_EQ(Fake().Bytes(), patched);
  EXPECT_EQ(reinterpret_cast<void*>(g_orgRoutine), trampoline);
  EXPECT_EQ(Fake().Call(), 1235);
  EXPECT_EQ(CommittedRanges().size(), 2u);
  UndoAllTransactions();
  EXPECT_EQ(Fake().Bytes(), Original);
  EXPECT_TRUE(UndoReports().empty());
}

// A module that unloads takes our edits with it: they are forgotten without
// a write, the redirect's trampoline goes back to the pool (the next one of
// its size reuses it) and its published entry becomes null.
TEST_F(PatchPlan, EditsInAnUnloadedRangeAreDroppedWithTheirTrampolines) {
  TPatchPlan plan = WrapperPlan();
  ASSERT_TRUE(InstallPlan(plan));
  const std::vector<uint8_t> patched = Fake().Bytes();
  void* trampoline = reinterpret_cast<void*>(g_orgRoutine);
  DropTransactionsIn(Fake().Base, 3 * PageSize);
  EXPECT_EQ(g_orgRoutine, nullptr);
  EXPECT_TRUE(CommittedRanges().empty());
  EXPECT_EQ(Fake().Bytes(), patched);
  // The "reloaded" module: its original bytes at the same address.
  std::memcpy(Fake().Base, Original.data(), Original.size());
  RemoveCppCompilerPatches();
  TPatchPlan again = WrapperPlan();
  ASSERT_TRUE(InstallPlan(again));
  EXPECT_EQ(reinterpret_cast<void*>(g_orgRoutine), trampoline);
  EXPECT_EQ(Fake().Call(), 1235);
  UndoAllTransactions();
  EXPECT_EQ(Fake().Bytes(), Original);
  EXPECT_TRUE(UndoReports().empty());
}

// A precondition is checked before the patches a plan needs: false, the
// plan is ignored (its missing need is not its reason); true, the need counts.
TEST_F(PatchPlan, PreconditionComesBeforeNeeds) {
  for (bool holds : {false, true}) {
    TPatchPlan plan = MarkerPlan(L"IDE.TestPrecondition");
    plan.Needs({L"IDE.TestNeverInstalled"});
    plan.IgnoreUnless(L"its routine is not there", [holds] { return holds; });
    TPlanVerdict verdict = DryRunPlan(plan);
    EXPECT_FALSE(verdict.Applies);
    EXPECT_EQ(verdict.Ignored, !holds);
    EXPECT_EQ(verdict.Reason, holds ? L"needs IDE.TestNeverInstalled" : L"its routine is not there");
  }
  EXPECT_EQ(Fake().Bytes(), Original);
}

}  // namespace

namespace {

TEST_F(PatchPlan, AnUnregisteredPlanInstallsWithoutTheRegistryAndIsUndoneLikeAnyOther) {
  // Not even "*" turns off a part of the library that is no named patch.
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"*");
  TPatchPlan plan = MarkerPlan(L"TestAlwaysActive");
  const TPlanVerdict applied = InstallUnregisteredPlan(plan);
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", nullptr);
  EXPECT_TRUE(applied.Applies);
  EXPECT_FALSE(applied.Registered);
  EXPECT_FALSE(IsPatchRegistered(L"TestAlwaysActive"));
  EXPECT_EQ(Fake().Base[0x40], 0xAA);
  ASSERT_EQ(CommittedRanges().size(), 2u);
  EXPECT_EQ(CommittedRanges()[0].Owner, L"TestAlwaysActive");

  TPatchPlan failing = WriteAt(L"TestAlwaysActiveMissing", 0x300, "01");
  failing.Pattern(L"Absent", L"fake.dll", "DE AD BE EF 01", 0);
  const TPlanVerdict failed = InstallUnregisteredPlan(failing);
  EXPECT_FALSE(failed.Applies);
  EXPECT_EQ(failed.Reason, L"Absent: pattern not found");
  EXPECT_FALSE(IsPatchRegistered(L"TestAlwaysActiveMissing"));
  EXPECT_EQ(CommittedRanges().size(), 2u);

  UndoAllTransactions();
  EXPECT_EQ(Fake().Bytes(), Original);
}

}  // namespace

// A patch tried only after another, or only where a condition holds, is
// neither registered nor written when it is not tried; a dry run says why.
TEST_F(PatchPlan, APatchNotTriedIsNotRegistered) {
  bool hostHasForm = false;
  TPatchPlan conditional = MarkerPlan(L"IDE.TestConditional");
  conditional.TriedOnlyWhen(L"not tried: the other form", [&] { return hostHasForm; });
  TPatchPlan follower = MarkerPlan(L"IDE.TestFollower");
  follower.TriedOnlyAfter({L"IDE.TestConditional"});
  for (TPatchPlan* plan : {&conditional, &follower}) {
    TPlanVerdict verdict = InstallPlanVerdict(*plan);
    EXPECT_FALSE(verdict.Registered);
    EXPECT_TRUE(verdict.Ignored);
    EXPECT_FALSE(IsPatchRegistered(plan->Name()));
  }
  EXPECT_EQ(DryRunPlan(conditional).Reason, L"not tried: the other form");
  EXPECT_EQ(DryRunPlan(follower).Reason, L"not tried: needs IDE.TestConditional");
  EXPECT_EQ(Fake().Bytes(), Original);
  // Tried once the condition holds and the first patch is applied.
  hostHasForm = true;
  TDryRunOptions applied;
  applied.IsApplied = [](const std::wstring&) { return true; };
  EXPECT_TRUE(DryRunPlan(follower, applied).Applies);
  EXPECT_TRUE(InstallPlan(conditional));
  TPatchPlan second = MarkerPlan(L"IDE.TestFollower");
  second.TriedOnlyAfter({L"IDE.TestConditional"});
  EXPECT_FALSE(InstallPlanVerdict(second).Ignored);  // tried, and refused: the marker is taken
  EXPECT_TRUE(IsPatchRegistered(L"IDE.TestFollower"));
  UndoAllTransactions();
  EXPECT_EQ(Fake().Bytes(), Original);
}
