#include "Patches/Compiler/IDEKibitzFix.h"

#include "Framework/LibraryEntry.h"
#include "Framework/PatchRegistry.h"
#include "Patches/Compiler/KibitzPatterns.h"

namespace Quillmend {
namespace {

const wchar_t* const Group = L"IDE.KibitzNoClearUnitCache";
const wchar_t* const DelphiCoreIde = L"delphicoreide150.bpl";
const char* const InvokeCodeCompletion =
    "@Pascodcmplt@TPascalKibitzManager@InvokeCodeCompletion$qqr23Toolsapi@TOTAInvokeTyper20System@UnicodeString";

TPatchPlan GroupPlan() {
  TPatchPlan plan(Group, L"CodeInsight no clear unit cache");
  plan.IgnoreWhen(L"a group: its sub-patch is listed on its own", [](const TPlanValues&) { return true; });
  return plan;
}

TPatchPlan InvokeCodeCompletionPlan() {
  TPatchPlan plan(L"IDE.KibitzNoClearUnitCache.InvokeCodeCompletion", L"CodeInsight no clear unit cache (2)");
  plan.TriedOnlyWhen(L"not tried: IDE.KibitzNoClearUnitCache is disabled", [] { return !IsPatchDisabled(Group); });
  TSiteRef invoke = plan.Export(L"InvokeCodeCompletion", DelphiCoreIde, InvokeCodeCompletion);
  TSiteRef reset = plan.PatternFrom(L"InvokeCodeCompletion cache reset", invoke, 0,
                                    KibitzPatterns::InvokeCompletionReset, KibitzPatterns::InvokeCompletionWindow);
  plan.WriteBytes(reset, KibitzPatterns::CacheClearCall, "90 90 90");
  return plan;
}

void InitializeIDEKibitzFix() { AddWizardInitProc(&InstallIDEKibitzFix); }

} // namespace

std::vector<TPatchPlan> IDEKibitzFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(GroupPlan());
  plans.push_back(InvokeCodeCompletionPlan());
  return plans;
}

void InstallIDEKibitzFix() {
  TPatchPlan group = GroupPlan();
  // The sub-patch follows the group only when the group is registered.
  if (!InstallPlanVerdict(group).Registered) return;
  TPatchPlan child = InvokeCodeCompletionPlan();
  InstallPlan(child);
}

const TUnitInfo Unit_IDEKibitzFix = {"IDEKibitzFix", &InitializeIDEKibitzFix, nullptr, &IDEKibitzFixPlans};

} // namespace Quillmend
