#include "Patches/EditorParser/CnWizardsCloseEditorFix.h"

#include <windows.h>

#include "Framework/HostExcept.h"
#include "Framework/LibraryEntry.h"
#include "Patches/EditorParser/EditorParserHost.h"
#include "Patches/EditorParser/EditorParserPatterns.h"

namespace Quillmend {

using namespace EditorParserHost;

TPointFromEdPos OrgPointFromEdPos = nullptr;

namespace {

int32_t g_viewField = -1;

} // namespace

int32_t EditControlViewField() { return g_viewField; }

void QM_REGISTER PointFromEdPosReplacement(void* control, const void* position, uint32_t b1, TEdPoint* result,
                                           uint32_t b2) {
  const void* view = control ? *reinterpret_cast<void* const*>(static_cast<char*>(control) + g_viewField) : nullptr;
  if (!view) {
    *result = TEdPoint{0, 0};
    return;
  }
  THostCaught caught;
  if (!HostTryExceptOnly(EXCEPTION_ACCESS_VIOLATION, [&] { OrgPointFromEdPos(control, position, b1, result, b2); },
                         caught))
    *result = TEdPoint{0, 0};
}

TPatchPlan CnWizardsCloseEditorPlan() {
  namespace P = EditorParserPatterns;
  TPatchPlan plan(L"IDE.EditorControl.CnWizardsAV", L"Fixes a close EditorTab AV if CnWizards is installed");
  TSiteRef hideBlock = plan.Export(L"TCustomEditControl.HideBlock", CoreIde, Export::HideBlock);
  plan.ExpectBytes(hideBlock, 0, P::HideBlockStart);
  plan.ExpectBytes(hideBlock, P::HideBlockTestAt, P::HideBlockTest);
  TCaptureRef viewField = plan.Operand(hideBlock, P::HideBlockViewField);
  TSiteRef point = plan.Export(L"TCustomEditControl.PointFromEdPos", CoreIde, Export::PointFromEdPos);
  plan.RedirectOrgCall(point, &PointFromEdPosReplacement, reinterpret_cast<void**>(&OrgPointFromEdPos));
  plan.OnCommit([=](const TPlanValues& v) { g_viewField = int32_t(v.Value(viewField)); });
  return plan;
}

void InstallCnWizardsCloseEditorFix() {
  TPatchPlan plan = CnWizardsCloseEditorPlan();
  InstallPlan(plan);
}

namespace {

void InitializeCnWizardsCloseEditorFix() { AddWizardInitProc(&InstallCnWizardsCloseEditorFix); }

std::vector<TPatchPlan> CnWizardsCloseEditorFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(CnWizardsCloseEditorPlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_CnWizardsCloseEditorFix = {"CnWizardsCloseEditorFix", &InitializeCnWizardsCloseEditorFix, nullptr,
                                                &CnWizardsCloseEditorFixPlans};

} // namespace Quillmend
