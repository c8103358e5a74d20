#include "Patches/EditorParser/EditKernelUndoSpeed.h"

#include "Framework/LibraryEntry.h"
#include "Patches/EditorParser/EditorParserHost.h"
#include "Patches/EditorParser/EditorParserPatterns.h"

extern "C" void QmUndoOnceAdapter() asm("QmUndoOnceAdapter");

namespace Quillmend {

TUndoRangeProc UndoRangeProc = nullptr;
TUndoItemProc UndoItemProc = nullptr;

void __cdecl UndoOnce(void* list, const void* itemRecord, int32_t first, int32_t last) {
  if (first == last)
    UndoItemProc(list, itemRecord);
  else
    UndoRangeProc(list, first, last + 1);
}

TPatchPlan UndoSpeedPlan() {
  namespace P = EditorParserPatterns;
  const wchar_t* const kernel = EditorParserHost::EditorKernel;
  TPatchPlan plan(L"IDE.Editor.UndoSpeed", L"Improves the speed of a large undo operation");
  TSiteRef range = plan.Pattern(L"UndoRange", kernel, P::UndoRange, P::UndoSearchLimit);
  TSiteRef group = plan.Pattern(L"UndoGroup", kernel, P::UndoGroup, P::UndoSearchLimit);
  TSiteRef loop = plan.PatternFrom(L"UndoLoop", group, 0, P::UndoLoop, P::UndoLoopWindow);
  TCaptureRef rangeProc = plan.Address(range);
  TCaptureRef itemProc = plan.CallTarget(loop, P::UndoItemCall);
  plan.RetargetCall(loop, P::UndoItemCall, &QmUndoOnceAdapter);
  plan.WriteBytes(loop, P::UndoLoopJump, "90 90");
  plan.OnCommit([=](const TPlanValues& v) {
    UndoRangeProc = v.Get<TUndoRangeProc>(rangeProc);
    UndoItemProc = v.Get<TUndoItemProc>(itemProc);
  });
  return plan;
}

void InstallEditKernelUndoSpeed() {
  TPatchPlan plan = UndoSpeedPlan();
  InstallPlan(plan);
}

namespace {

void InitializeEditKernelUndoSpeed() { AddWizardInitProc(&InstallEditKernelUndoSpeed); }

std::vector<TPatchPlan> EditKernelUndoSpeedPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(UndoSpeedPlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_EditKernelUndoSpeed = {"EditKernelUndoSpeed", &InitializeEditKernelUndoSpeed, nullptr,
                                            &EditKernelUndoSpeedPlans};

} // namespace Quillmend
