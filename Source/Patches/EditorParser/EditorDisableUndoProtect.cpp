#include "Patches/EditorParser/EditorDisableUndoProtect.h"

#include "Framework/HostFinally.h"
#include "Framework/LibraryEntry.h"
#include "Patches/EditorParser/EditorParserHost.h"

namespace Quillmend {

using namespace EditorParserHost;

TEkEval OrgEkEval = nullptr;

uint16_t QM_REGISTER EkEvalReplacement(void* view, const void* command, int32_t undoGroup) {
  uint32_t* flags = EkFlagsOf(view);
  const uint32_t before = ReadFlags(flags);
  if (!(before & EkFlag::UndoDisabled)) return OrgEkEval(view, command, undoGroup);
  WriteFlags(flags, (before | EkFlag::NoAutoEdits | EkFlag::KeepTrailingBlanks) & ~EkFlag::AutoTrim);
  uint16_t result = 0;
  HostTryFinally([&] { result = OrgEkEval(view, command, undoGroup); },
                 [&]() noexcept {
                   uint32_t now = ReadFlags(flags);
                   if (before & EkFlag::AutoTrim) now |= EkFlag::AutoTrim;
                   if (!(before & EkFlag::NoAutoEdits)) now &= ~EkFlag::NoAutoEdits;
                   if (!(before & EkFlag::KeepTrailingBlanks)) now &= ~EkFlag::KeepTrailingBlanks;
                   WriteFlags(flags, now);
                 });
  return result;
}

TPatchPlan DisableUndoProtectPlan() {
  TPatchPlan plan(L"IDE.Editor.DisableUndoProtect",
                  L"Protects the editor kernel from making auto changes when undo is disabled");
  TSiteRef eval = plan.Export(L"EkEval", CoreIde, Export::EkEval);
  plan.RedirectOrgCall(eval, &EkEvalReplacement, reinterpret_cast<void**>(&OrgEkEval));
  return plan;
}

void InstallEditorDisableUndoProtect() {
  TPatchPlan plan = DisableUndoProtectPlan();
  InstallPlan(plan);
}

namespace {

void InitializeEditorDisableUndoProtect() { AddWizardInitProc(&InstallEditorDisableUndoProtect); }

std::vector<TPatchPlan> EditorDisableUndoProtectPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(DisableUndoProtectPlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_EditorDisableUndoProtect = {"EditorDisableUndoProtect", &InitializeEditorDisableUndoProtect,
                                                 nullptr, &EditorDisableUndoProtectPlans};

} // namespace Quillmend
