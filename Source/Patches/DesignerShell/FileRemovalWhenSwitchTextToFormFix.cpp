#include "Patches/DesignerShell/FileRemovalWhenSwitchTextToFormFix.h"

#include "Framework/LibraryEntry.h"
#include "Patches/DesignerShell/DesignerShellHost.h"
#include "Patches/DesignerShell/DesignerShellPatterns.h"

extern "C" {
void* QmFileRemovalSync = nullptr;
void* QmFileRemovalFree = nullptr;
}

namespace Quillmend {

using namespace DesignerShellHost;

TPatchPlan FileRemovalSwitchTextToFormPlan() {
  namespace P = DesignerShellPatterns;
  TPatchPlan plan(L"IDE.FileRemovalSwitchTextToFormFix", L"FileRemovalSwitchTextToFormFix");
  TSiteRef swap =
      plan.Export(L"TPascalCodeMgrModHandler.SwapSourceFormView", DelphiCoreIde, Export::SwapSourceFormView);
  TSiteRef nested = plan.PatternFrom(L"FileRemovalSwitchTextToForm", swap, -P::FileRemovalBefore,
                                     P::FileRemovalSwitch, P::FileRemovalWindow);
  TCaptureRef sync = plan.CallTarget(nested, P::FileRemovalSyncCall);
  TCaptureRef free = plan.CallTarget(nested, P::FileRemovalFreeCall);
  plan.RetargetCall(nested, P::FileRemovalFreeCall, &QmFileRemovalAdapter);
  plan.OnCommit([=](const TPlanValues& v) {
    QmFileRemovalSync = v.Get<void*>(sync);
    QmFileRemovalFree = v.Get<void*>(free);
  });
  return plan;
}

void InstallFileRemovalWhenSwitchTextToFormFix() {
  TPatchPlan plan = FileRemovalSwitchTextToFormPlan();
  InstallPlan(plan);
}

namespace {

void InitializeFileRemovalWhenSwitchTextToFormFix() { AddWizardInitProc(&InstallFileRemovalWhenSwitchTextToFormFix); }

std::vector<TPatchPlan> FileRemovalWhenSwitchTextToFormFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(FileRemovalSwitchTextToFormPlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_FileRemovalWhenSwitchTextToFormFix = {"FileRemovalWhenSwitchTextToFormFix",
                                                           &InitializeFileRemovalWhenSwitchTextToFormFix, nullptr,
                                                           &FileRemovalWhenSwitchTextToFormFixPlans};

} // namespace Quillmend
