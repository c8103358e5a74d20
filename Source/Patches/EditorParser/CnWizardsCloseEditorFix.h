// "IDE.EditorControl.CnWizardsAV": a wizard asking an editor control for the
// point of an editor position while its tab closes reaches a control whose
// view is gone, and PointFromEdPos faults. The control's view field (its
// offset read out of HideBlock's first instruction) is checked first: a nil
// control or view gives the point (0, 0); an access violation inside the
// original gives (0, 0) too; any other exception passes.
#pragma once

#include <cstdint>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

struct TEdPoint {
  int32_t X, Y;
};
// PointFromEdPos(Self; const Pos: TEdPos; B1, B2: Boolean): TPoint — EAX, EDX,
// ECX, then on the stack B2 (pushed first) and the result's address.
using TPointFromEdPos = void(QM_REGISTER*)(void* control, const void* position, uint32_t b1, TEdPoint* result,
                                           uint32_t b2);
extern TPointFromEdPos OrgPointFromEdPos;
void QM_REGISTER PointFromEdPosReplacement(void* control, const void* position, uint32_t b1, TEdPoint* result,
                                           uint32_t b2);
// The edit control's view field, read out of HideBlock (-1 until then).
int32_t EditControlViewField();

TPatchPlan CnWizardsCloseEditorPlan();
void InstallCnWizardsCloseEditorFix();

extern const TUnitInfo Unit_CnWizardsCloseEditorFix;

} // namespace Quillmend
