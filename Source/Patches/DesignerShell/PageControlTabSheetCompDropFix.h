// "IDE.Designer.FindItemParent": a component dropped on a page control
// lands on a tab sheet that is not shown, because the designer's search
// for the drop's parent takes the first candidate that is a container; and
// after deleting a control from a tab sheet the designer selects its
// current container, another sheet. The container test in FindItemParent
// answers false for a windowed control that is not shown; DeleteSelection
// remembers the windowed parent of the first selected control, and the
// selection that follows the deletion gets that parent instead.
#pragma once

#include <cstdint>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The item interface's IsContainer (method 12), then false for an item
// whose component is a windowed control that is not shown (EAX = the item → AL).
uint32_t QM_REGISTER ItemParentContainerTest(void* item);
// The windowed parent's component of the first selected control, or null
// (the selection list interface of the holder).
void* ParentOfFirstSelectedControl(void* selectionList);

using TDeleteSelection = void(QM_REGISTER*)(void* root, uint32_t flag);
using TSelectComponent = void(QM_REGISTER*)(void* root, void* component, uint32_t third);
extern TDeleteSelection OrgDeleteSelection;
extern TSelectComponent OrgSelectAfterDelete;
void QM_REGISTER DeleteSelectionReplacement(void* root, uint32_t flag);
void QM_REGISTER SelectAfterDeleteWrapper(void* root, void* component, uint32_t third);

TPatchPlan FindItemParentPlan();
void InstallPageControlTabSheetCompDropFix();

extern const TUnitInfo Unit_PageControlTabSheetCompDropFix;

} // namespace Quillmend
