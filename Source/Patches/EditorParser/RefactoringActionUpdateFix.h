// "IDE.RefactoringCmdsUpdate": the refactoring actions' update routine asks
// the refactoring engine on every action update, also while a background
// compile or parse runs and for every action whenever a shortcut key is
// dispatched. Replaced: without `force`, during a background compile the
// action is disabled; otherwise, unless it is the action being executed,
// while a shortcut is dispatched an action with another shortcut is left
// alone, and while the background parser parses the action is disabled;
// else the original runs inside a kibitzing-monitor section (Start(2) ..
// Finished). TCustomAction.Execute and TMenu.IsShortCut remember the
// executing action and the dispatched shortcut for the duration of their
// call (nested calls and exceptions put the previous ones back), and
// actnImportNamespaceExecute runs inside a kibitzing-monitor section. Without
// refactoride150.bpl the patch is ignored.
#pragma once

#include <cstdint>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

using TRefactorUpdate = void(QM_REGISTER*)(void* action, void* commands, uint32_t force);
using TActionExecute = uint8_t(QM_REGISTER*)(void* action);
using TMenuIsShortCut = uint8_t(QM_REGISTER*)(void* menu, void* keyMessage);
using TImportNamespaceExecute = void(QM_REGISTER*)(void* self, void* sender);
extern TRefactorUpdate OrgRefactorUpdate;
extern TActionExecute OrgActionExecute;
extern TMenuIsShortCut OrgMenuIsShortCut;
extern TImportNamespaceExecute OrgImportNamespaceExecute;

void QM_REGISTER RefactorUpdateReplacement(void* action, void* commands, uint32_t force);
uint8_t QM_REGISTER ActionExecuteReplacement(void* action);
uint8_t QM_REGISTER MenuIsShortCutReplacement(void* menu, void* keyMessage);
void QM_REGISTER ImportNamespaceExecuteReplacement(void* self, void* sender);

// The action executing now and the shortcut dispatched now (0: none).
void* ExecutingAction();
uint16_t DispatchedShortCut();

TPatchPlan RefactoringCmdsUpdatePlan();
void InstallRefactoringActionUpdateFix();

extern const TUnitInfo Unit_RefactoringActionUpdateFix;

} // namespace Quillmend
