// "IDE.FileRemovalSwitchTextToFormFix": when the Pascal module handler
// switches between source and form view of a file that was removed from
// the project, its nested routine frees the handler without first bringing
// the file's registration up to date, so the removed file stays registered
// after its handler is gone. The call that frees the handler is retargeted
// to an adapter that first calls the routine that brings the registration
// up to date, with the same frame argument, and then frees the handler.
#pragma once

#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The adapter (FileRemovalAdapter.S) and what it calls, set at publication:
// the registration routine (cdecl, the enclosing frame on the stack) and
// the host's free routine (EAX = the object).
extern "C" void QmFileRemovalAdapter() asm("QmFileRemovalAdapter");
extern "C" void* QmFileRemovalSync asm("QmFileRemovalSync");
extern "C" void* QmFileRemovalFree asm("QmFileRemovalFree");

TPatchPlan FileRemovalSwitchTextToFormPlan();
void InstallFileRemovalWhenSwitchTextToFormFix();

extern const TUnitInfo Unit_FileRemovalWhenSwitchTextToFormFix;

} // namespace Quillmend
