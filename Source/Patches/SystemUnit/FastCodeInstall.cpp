#include "Patches/SystemUnit/FastCodeInstall.h"

#include "Framework/PatchPlan.h"
#include "Patches/SystemUnit/FastMove.h"
#include "Patches/SystemUnit/RtlSystemExports.h"

namespace Quillmend {

namespace {

bool g_installed = false;
std::wstring g_reason;

}  // namespace

TPatchPlan FastCodeInstallPlan() {
  TPatchPlan plan(L"FastCodeInstall", L"System.Move: the processor's fast move", TInstallMoment::UnitInit);
  TSiteRef move = plan.Export(L"Move", RtlPackage, RtlSystemExport::Move);
  plan.Redirect(move, FastMoveProc());
  return plan;
}

namespace {

void FinalizeFastCodeInstall() {
  // The undo of the library's transactions has put System.Move back.
  g_installed = false;
}

}  // namespace

bool FastCodeInstalled() { return g_installed; }

const std::wstring& FastCodeInstallReason() { return g_reason; }

void InstallFastCode() {
  TPatchPlan plan = FastCodeInstallPlan();
  const TPlanVerdict verdict = InstallUnregisteredPlan(plan);
  g_installed = verdict.Applies;
  g_reason = verdict.Reason;
}

const TUnitInfo Unit_FastCodeInstall = {"FastCodeInstall", &InstallFastCode, &FinalizeFastCodeInstall};

} // namespace Quillmend
