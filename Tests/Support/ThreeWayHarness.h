// The three-way test of a patch subsystem against its stand-in modules, in
// the test process: every patch applied (the host's results unchanged),
// disabled (not one byte of it written), against a mismatched host variant
// (it and what builds on it failed, nothing of theirs written), and after
// every case the code put back byte for byte by the library's undo.
//
// A subsystem's three-way tests are a table of its patches and of its
// variants plus one instantiation:
//
//   const TThreeWaySubsystem& Compiler() { static TThreeWaySubsystem s{...}; return s; }
//   QM_THREE_WAY_TESTS(Compiler, Compiler(), PatchRows, VariantRows)
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>
#include <windows.h>

#include "Framework/PatchPlan.h"
#include "Framework/PatchRegistry.h"

struct TThreeWaySubsystem {
  // Stand-in modules loaded into the test process, in order: file names in
  // <build>/host (a variant directory's copy replaces the host's).
  std::vector<std::wstring> Modules;
  // Runs after the modules are loaded (driver binding, set-up).
  std::function<void()> AfterLoad;
  // Installs the subsystem's patches, as the library would at its moment.
  std::function<void()> Install;
  // Runs the stand-in's workload and returns what it computed; called before
  // and after installing, the two must be equal. May be empty.
  std::function<std::string()> Exercise;
  // Every patch the subsystem registers, parents included.
  std::vector<std::wstring> Patches;
  // Registered and marked ignored by design (a group whose children are listed).
  std::vector<std::wstring> Ignored = {};
  // Not tried on the stand-ins (tried only in builds with another form of their target).
  std::vector<std::wstring> NotTried = {};
};

struct TPatchRow {
  std::wstring Patch;
  std::vector<std::wstring> Needs;  // patches it builds on (direct): failed without them
  // The patch whose installation procedure installs this one: disabled, it
  // installs nothing (this one is not even registered); failed, this one
  // installs all the same.
  std::wstring Parent = L"";
};

struct TVariantRow {
  std::string Variant;               // <build>/host-variants/<Variant>, or the name of an alteration
  std::vector<std::wstring> Failing; // patches that must fail there (dependants included)
  // Instead of a variant directory: the normal stand-ins, altered in memory
  // after loading (an embedded constant or operand no byte pattern sees).
  std::function<void()> Alter = nullptr;
  // Patches that are not even registered there (a parent that stops before
  // registering its child); nothing of theirs written either.
  std::vector<std::wstring> Unregistered = {};
  // Patches reported ignored there (a host that lacks what they fix, by design).
  std::vector<std::wstring> Ignored = {};
  // Stand-in module files not loaded there (an IDE without that package).
  std::vector<std::wstring> Absent = {};
  // Patches this build tries that the stand-ins do not (applied unless failing).
  std::vector<std::wstring> Tried = {};
};

// How GoogleTest names a row in its output (instead of the row's raw bytes).
void PrintTo(const TPatchRow& row, std::ostream* out);
void PrintTo(const TVariantRow& row, std::ostream* out);

// What one case found; the assertions read it.
class TThreeWayRun {
public:
  explicit TThreeWayRun(const TThreeWaySubsystem& subsystem);

  // Loads the stand-ins (from the variant's directory where it has a copy),
  // then runs `alter` before anything is looked at.
  void Load(const std::string& variant = "", const std::function<void()>& alter = nullptr,
            const std::vector<std::wstring>& absent = {});
  // Sets "Quillmend.DisabledPatches" and installs.
  void Install(const std::wstring& disabledPatches);

  // Registry state: nullptr when the patch is not registered.
  const Quillmend::TPatchReport* Report(const std::wstring& patch) const;
  std::wstring Status(const std::wstring& patch) const;  // "applied", "failed", "ignored" or ""

  // Code and read-only data bytes of the loaded stand-ins that differ from
  // the snapshot taken at load and lie outside every committed write.
  std::vector<std::wstring> UndeclaredChanges() const;
  // Committed writes owned by this patch (count).
  size_t CommittedRangesOf(const std::wstring& patch) const;
  // Runs the library's undo of every committed write; the differences left
  // against the snapshot (empty when restored byte for byte).
  std::vector<std::wstring> UndoAndCompare();

  std::string Exercise() const;

private:
  struct TSection {
    std::wstring Name;
    uint8_t* Start;
    std::vector<uint8_t> Bytes;
  };
  const TThreeWaySubsystem& FSubsystem;
  std::vector<HMODULE> FModules;
  std::vector<TSection> FSnapshot;
  std::vector<Quillmend::TPatchReport> FReports;
};

// What must be enabled for a row's patch to apply: what it needs and its
// parent, transitively.
std::vector<std::wstring> NeedsClosure(const std::vector<TPatchRow>& rows, const std::wstring& patch);
// What a disabled patch takes with it: its children (not registered, nor
// theirs), and whatever needs it or them (failed, transitively).
std::vector<std::wstring> Dependants(const std::vector<TPatchRow>& rows, const std::wstring& patch);

// The status a patch has after installing everything: "" when not tried,
// "failed" where the variant row says so, else "ignored" or "applied".
std::wstring ExpectedStatus(const TThreeWaySubsystem& s, const TVariantRow* row, const std::wstring& patch);

// The status the registry reports for a patch now: "applied", "failed", "ignored" or "".
std::wstring StatusText(const Quillmend::TPatchReport* report);
std::wstring ReportedStatus(const std::wstring& patch);
// The library's failed-patch reasons (non-ASCII as '?').
std::string FailedReasonsText();

// The checks, shared by the generated tests.
void ExpectAppliedAlone(const TThreeWaySubsystem& s, const std::vector<TPatchRow>& rows, const TPatchRow& row);
void ExpectDisabledUntouched(const TThreeWaySubsystem& s, const std::vector<TPatchRow>& rows, const TPatchRow& row);
void ExpectMismatchedFails(const TThreeWaySubsystem& s, const TVariantRow& row);
void ExpectAllApplied(const TThreeWaySubsystem& s);

std::string ThreeWayTestName(const std::wstring& patch);

// Generates, for a subsystem `Name`: <Name>ThreeWay/Patch.AppliedAlone/<patch>,
// .../Patch.DisabledUntouched/<patch>, .../Variant.MismatchedFails/<variant>
// and <Name>ThreeWay.AllAppliedAndRestored.
#define QM_THREE_WAY_TESTS(Name, subsystem, patchRows, variantRows)                                                \
  class Name##ThreeWayPatch : public testing::TestWithParam<TPatchRow> {};                                          \
  TEST_P(Name##ThreeWayPatch, AppliedAlone) { ExpectAppliedAlone(subsystem, patchRows, GetParam()); }               \
  TEST_P(Name##ThreeWayPatch, DisabledUntouched) { ExpectDisabledUntouched(subsystem, patchRows, GetParam()); }     \
  INSTANTIATE_TEST_SUITE_P(Name, Name##ThreeWayPatch, testing::ValuesIn(patchRows),                                 \
                           [](const testing::TestParamInfo<TPatchRow>& info) {                                      \
                             return ThreeWayTestName(info.param.Patch);                                             \
                           });                                                                                      \
  class Name##ThreeWayVariant : public testing::TestWithParam<TVariantRow> {};                                      \
  TEST_P(Name##ThreeWayVariant, MismatchedFails) { ExpectMismatchedFails(subsystem, GetParam()); }                  \
  INSTANTIATE_TEST_SUITE_P(Name, Name##ThreeWayVariant, testing::ValuesIn(variantRows),                             \
                           [](const testing::TestParamInfo<TVariantRow>& info) {                                    \
                             std::string name;                                                                      \
                             for (char c : info.param.Variant) name += isalnum((unsigned char)c) ? c : '_';         \
                             return name;                                                                           \
                           });                                                                                      \
  TEST(Name##ThreeWay, AllAppliedAndRestored) { ExpectAllApplied(subsystem); }

// Why a patch fails on a variant: a dry run of its plan there says so, as the
// installation would.
struct TReasonRow {
  const char* Variant;
  const wchar_t* Patch;
  const wchar_t* Reason;  // what the failure reason begins with
};
void PrintTo(const TReasonRow& row, std::ostream* out);
std::string ReasonTestName(const testing::TestParamInfo<TReasonRow>& info);
// The plan named row.Patch among `plans` (built once the variant is loaded)
// does not apply, and its reason begins with row.Reason.
void ExpectDryRunSaysWhy(std::vector<Quillmend::TPatchPlan> plans, const TReasonRow& row);

// Variants/<Name>FailedPatch.SaysWhy/<variant> for every row: `load(variant)`
// loads the stand-ins with that variant, `plans()` builds the subsystem's plans.
#define QM_FAILURE_REASON_TESTS(Name, load, plans, reasonRows)                         \
  class Name##FailedPatch : public testing::TestWithParam<TReasonRow> {};              \
  TEST_P(Name##FailedPatch, SaysWhy) {                                                 \
    load(GetParam().Variant);                                                          \
    ExpectDryRunSaysWhy(plans(), GetParam());                                          \
  }                                                                                    \
  INSTANTIATE_TEST_SUITE_P(Variants, Name##FailedPatch, testing::ValuesIn(reasonRows), \
                           ReasonTestName)
