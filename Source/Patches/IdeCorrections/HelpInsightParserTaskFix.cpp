#include "Patches/IdeCorrections/HelpInsightParserTaskFix.h"

#include "Framework/LibraryEntry.h"
#include "Patches/IdeCorrections/HelpInsightPatterns.h"

namespace Quillmend {

namespace {

namespace P = HelpInsightPatterns;

// TWaitResult: 0 signalled, 1 timeout, 2 abandoned, 3 error, 4 a message pending.
using TEventWaitFor = uint32_t(QM_REGISTER*)(void* event, uint32_t timeout);

TPatchPlan WaitForPlan() {
  TPatchPlan plan(L"IDE.HelpInsight.WaitFor", L"Fix HelpInsight background thread wait time", TInstallMoment::WizardInit);
  TSiteRef ctor = plan.Export(L"TParseThread.Create", L"coreide150.bpl", "@Parserthread@TParseThread@$bctr$qqrv");
  TSiteRef wait = plan.PatternFrom(L"TParseThread wait for work", ctor, -P::WaitForWorkWindow, P::WaitForWork,
                                   P::WaitForWorkWindow);
  plan.Redirect(wait, &WaitForWork);
  return plan;
}

void InitializeHelpInsightParserTaskFix() { AddWizardInitProc(&InstallHelpInsightParserTaskFix); }

}  // namespace

bool QM_REGISTER WaitForWork(void* self, uint32_t timeout) {
  void* event = *reinterpret_cast<void**>(static_cast<char*>(self) + ParseThreadLayout::Event);
  auto waitFor = reinterpret_cast<TEventWaitFor>(
      (*static_cast<void***>(event))[ParseThreadLayout::EventWaitForSlot]);
  return (waitFor(event, timeout) & 0xFF) == 0;
}

std::vector<TPatchPlan> HelpInsightParserTaskFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(WaitForPlan());
  return plans;
}

void InstallHelpInsightParserTaskFix() {
  TPatchPlan plan = WaitForPlan();
  InstallPlan(plan);
}

const TUnitInfo Unit_HelpInsightParserTaskFix = {"HelpInsightParserTaskFix", &InitializeHelpInsightParserTaskFix,
                                                 nullptr, &HelpInsightParserTaskFixPlans};

}  // namespace Quillmend
