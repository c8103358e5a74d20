// "IDE.Editor.DisableUndoProtect": while undo is disabled in a buffer, the
// editor kernel's command evaluator must not make automatic edits (nothing
// could take them back). EkEval runs with the buffer's "no automatic edits"
// bits set and its "automatic trimming" bit clear; the flags are put back
// afterwards, also when the command raises.
#pragma once

#include <cstdint>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// EkEval(var View; var Cmd; UndoGroup): the 16-bit result in AX.
using TEkEval = uint16_t(QM_REGISTER*)(void* view, const void* command, int32_t undoGroup);
extern TEkEval OrgEkEval;
uint16_t QM_REGISTER EkEvalReplacement(void* view, const void* command, int32_t undoGroup);

TPatchPlan DisableUndoProtectPlan();
void InstallEditorDisableUndoProtect();

extern const TUnitInfo Unit_EditorDisableUndoProtect;

} // namespace Quillmend
