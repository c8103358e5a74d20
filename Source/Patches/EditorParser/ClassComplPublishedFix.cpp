#include "Patches/EditorParser/ClassComplPublishedFix.h"

#include "Patches/EditorParser/EditorParserHost.h"
#include "Patches/EditorParser/EditorParserPatterns.h"

namespace Quillmend {

using namespace EditorParserHost;

TPatchPlan PublishedBlockPlan() {
  namespace P = EditorParserPatterns;
  TPatchPlan plan(L"Editor.PublishedBlock", L"Unnecessary published block after code completion",
                  TInstallMoment::UnitInit);
  TSiteRef ensure = plan.Export(L"TPascalCodeUpdater.EnsureSection", DelphiCoreIde, Export::EnsureSection);
  TSiteRef test = plan.PatternFrom(L"EnsureSection published test", ensure, 0, P::EnsureSectionPublished,
                                   P::EnsureSectionWindow);
  plan.WriteBytes(test, P::EnsureSectionJump, "EB");
  return plan;
}

void InstallClassComplPublishedFix() {
  TPatchPlan plan = PublishedBlockPlan();
  InstallPlan(plan);
}

namespace {

std::vector<TPatchPlan> ClassComplPublishedFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(PublishedBlockPlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_ClassComplPublishedFix = {"ClassComplPublishedFix", &InstallClassComplPublishedFix, nullptr,
                                               &ClassComplPublishedFixPlans};

} // namespace Quillmend
