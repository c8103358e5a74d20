// The check's verdicts for plans of test patch modules against the probe
// modules: each kind of answer with its reason, the installation order
// (moments first, then link order), needs answered from earlier verdicts and
// publication, registry order, faults of the patch modules themselves; and
// not one byte written into any module.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "Check/IdeCheck.h"
#include "Framework/PatchRegistry.h"
#include "Hooking/CodeTransaction.h"
#include "TestPaths.h"

using namespace Quillmend;

namespace {

const wchar_t* const Probe = L"dcc150.dll";
int g_published = 0;

void Replacement() {}

TPatchPlan ExportPlan(const wchar_t* name, const char* exportName = "ProbeCall") {
  TPatchPlan plan(name, std::wstring(L"Test patch ") + name);
  plan.Redirect(plan.Export(L"Probe", Probe, exportName), &Replacement);
  return plan;
}

std::vector<TPatchPlan> WizardPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(ExportPlan(L"Test.Applies"));
  plans.back().OnCommit([](const TPlanValues&) { g_published = 1; });
  plans.push_back(TPatchPlan(L"Test.ReadsPublished", L"Test"));
  plans.back().Needs({L"Test.Applies"}).Expect(L"nothing published", [](const TPlanValues&) { return g_published == 1; });
  plans.push_back(ExportPlan(L"Test.NeedsALoadPatch"));
  plans.back().Needs({L"Test.AtLoad"});
  plans.push_back(ExportPlan(L"Test.NeedsACppPatch"));
  plans.back().Needs({L"test.AtCppLoad"});
  plans.push_back(TPatchPlan(L"Test.MissingModule", L"Test"));
  plans.back().Export(L"Kernel", L"bordbk150N.dll", "Kernel");
  plans.push_back(ExportPlan(L"Test.MissingExport", "NoSuchExport"));
  plans.push_back(TPatchPlan(L"Test.NeedsIde", L"Test"));
  plans.back().Computed(L"AboutBoxServices", [](const TPlanValues&) -> void* { return nullptr; }, true);
  plans.push_back(ExportPlan(L"Test.BuildsOnIde"));
  plans.back().Needs({L"Test.NeedsIde"});
  plans.push_back(TPatchPlan(L"Test.BuildsOnIdeButFails", L"Test"));
  plans.back().Needs({L"Test.NeedsIde"}).Pattern(L"Nowhere", Probe, "0F 0B 0F 0B 0F 0B CC CC", 0);
  plans.push_back(ExportPlan(L"Test.Ignored"));
  plans.back().IgnoreWhen(L"not for this build", [](const TPlanValues&) { return true; });
  plans.push_back(ExportPlan(L"Test.Disabled"));
  plans.push_back(ExportPlan(L"Test.NeedsDisabled"));
  plans.back().Needs({L"Test.Disabled"});
  plans.push_back(ExportPlan(L"Test.ThroughThunk", "ProbeThunk"));
  plans.push_back(TPatchPlan(L"Test.Raises", L"Test"));
  plans.back().Computed(L"Raising", [](const TPlanValues&) -> void* { throw std::runtime_error("plan code raised"); });
  return plans;
}

std::vector<TPatchPlan> LaterUnitPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(TPatchPlan(L"Test.AtLoad", L"Test", TInstallMoment::UnitInit));
  plans.back().Module(Probe);
  plans.push_back(TPatchPlan(L"test.AtCppLoad", L"Test", TInstallMoment::CppCompilerLoad));
  plans.back().Module(Probe);
  return plans;
}

std::vector<TPatchPlan> RaisingPlans() { throw std::runtime_error("cannot list"); }

std::vector<TPatchPlan> RepeatedPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(TPatchPlan(L"Test.AtLoad", L"Test again", TInstallMoment::UnitInit));
  return plans;
}

const TUnitInfo WizardUnit = {"WizardUnit", nullptr, nullptr, &WizardPlans};
const TUnitInfo LaterUnit = {"LaterUnit", nullptr, nullptr, &LaterUnitPlans};
const TUnitInfo RaisingUnit = {"RaisingUnit", nullptr, nullptr, &RaisingPlans};
const TUnitInfo RepeatingUnit = {"RepeatingUnit", nullptr, nullptr, &RepeatedPlans};
const TUnitInfo NoPlansUnit = {"NoPlansUnit", nullptr, nullptr};

struct TExpected {
  const wchar_t* Name;
  TCheckVerdict Verdict;
  std::wstring Reason;
};

}  // namespace

TEST(IdeCheck, EveryKindOfVerdictWithItsReasonAndNothingWritten) {
  const std::wstring bin = ProgramDirectory() + L"\\CheckFixtures\\probe";
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"Test.Other;test.disabled");
  TIdeModules modules(bin);
  const size_t committedBefore = CommittedRanges().size();
  const TIdeCheck check =
      CheckIde(modules, {&WizardUnit, &NoPlansUnit, &LaterUnit, &RaisingUnit, &RepeatingUnit});
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", nullptr);

  const TExpected expected[] = {
      {L"Test.Applies", TCheckVerdict::Applies, L""},
      {L"test.AtCppLoad", TCheckVerdict::Applies, L""},
      {L"Test.AtLoad", TCheckVerdict::Applies, L""},
      {L"Test.BuildsOnIde", TCheckVerdict::NeedsRunningIde, L"builds on Test.NeedsIde, which only the running IDE can check"},
      {L"Test.BuildsOnIdeButFails", TCheckVerdict::Fails, L"Nowhere: pattern not found"},
      {L"Test.Disabled", TCheckVerdict::Disabled, L""},
      {L"Test.Ignored", TCheckVerdict::Ignored, L"not for this build"},
      {L"Test.MissingExport", TCheckVerdict::Fails, L"Probe: export not found in dcc150.dll"},
      {L"Test.MissingModule", TCheckVerdict::Fails, L"bordbk150N.dll: not found in " + bin},
      {L"Test.NeedsACppPatch", TCheckVerdict::Fails, L"needs test.AtCppLoad"},  // installed later, at the C++ load
      {L"Test.NeedsALoadPatch", TCheckVerdict::Applies, L""},                   // installed earlier, at load
      {L"Test.NeedsDisabled", TCheckVerdict::Fails, L"needs Test.Disabled"},
      {L"Test.NeedsIde", TCheckVerdict::NeedsRunningIde, L"AboutBoxServices: not found"},
      {L"Test.Raises", TCheckVerdict::Fails, L"plan code raised"},
      {L"Test.ReadsPublished", TCheckVerdict::Applies, L""},
      {L"Test.ThroughThunk", TCheckVerdict::Applies, L""},
  };
  ASSERT_EQ(check.Patches.size(), std::size(expected));
  for (size_t i = 0; i < check.Patches.size(); ++i) {
    const TPatchCheck& patch = check.Patches[i];
    EXPECT_EQ(patch.Name, expected[i].Name);  // registry order: names ignoring case
    EXPECT_EQ(patch.Verdict, expected[i].Verdict) << patch.Name << ": " << VerdictText(patch.Verdict);
    EXPECT_EQ(patch.Reason, expected[i].Reason) << patch.Name;
  }
  EXPECT_EQ(check.Errors, (std::vector<std::wstring>{L"patch module RaisingUnit: its plans could not be listed: cannot list",
                                                      L"patch Test.AtLoad is listed twice"}));
  EXPECT_FALSE(check.AllCheckableApply());

  // The dry runs staged redirects over ProbeCall and the imported function; none was written.
  EXPECT_EQ(CommittedRanges().size(), committedBefore);
  TIdeModules fresh(bin);
  HMODULE checked = modules.Resolve(Probe), untouched = fresh.Resolve(Probe);
  EXPECT_EQ(std::memcmp(modules.Export(checked, "ProbeCall"), fresh.Export(untouched, "ProbeCall"), 16), 0);
  EXPECT_EQ(std::memcmp(modules.Export(modules.Resolve(L"CheckProbeImport.dll"), "ProbeImportedFunction"),
                        fresh.Export(fresh.Resolve(L"CheckProbeImport.dll"), "ProbeImportedFunction"), 16),
            0);
}
