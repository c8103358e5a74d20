// "IDE.VCLDesigner.GuidelinesHide": the form designer leaves its alignment
// guidelines on screen when it loses the focus or Alt is pressed. Once a
// form gets its first designer, the designer's IsDesignMsg (method 36 of
// its IDesignerHook, the routine behind the interface's adjustment stub) is
// redirected, in a transaction of its own, to a filter that hides the
// guidelines on WM_KILLFOCUS, and on WM_KEYDOWN of Alt while they show,
// then runs the designer's own.
#pragma once

#include <cstdint>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The instance size of the layout this module declares for TDesignSurface.
constexpr int32_t DesignSurfaceInstanceSize = 0x60;

// Whether the filter acts for this designer: its class's parent is not of
// the declared TDesignSurface size, or is, and is named "TDesignSurface".
bool GuidelinesFilterActsFor(const void* designer);
// The routine behind an interface method's adjustment stub (`83 C0 xx` or
// `05 imm32`, then a relative jump), or null for any other code.
void* CodeBehindAdjustmentStub(const void* stub);
// True once the designer's IsDesignMsg is redirected.
bool GuidelinesFilterInstalled();

using TSetDesigner = void(QM_REGISTER*)(void* form, void* designer);
extern TSetDesigner OrgSetDesigner;
void QM_REGISTER SetDesignerReplacement(void* form, void* designer);

TPatchPlan GuidelinesHidePlan();
void InstallGuidelinesHide();

extern const TUnitInfo Unit_GuidelinesHide;

} // namespace Quillmend
