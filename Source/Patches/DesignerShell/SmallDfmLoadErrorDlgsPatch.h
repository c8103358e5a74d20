// "IDE.Designer.SmallErrorDlgs": the dialogs the IDE shows when a form
// cannot be loaded (its ancestor is missing; reading it failed) have a fixed
// size, so long names, lists and messages are cut off. TRecoverFormInheritence
// .Setup is followed by a layout that makes the dialog sizeable and wider,
// with its controls anchored and its button panel kept in the corner;
// FormReadError shows its dialog sizeable, with the buttons in a bottom
// panel, the message filling the rest and the file's name in the caption.
// Both rely on the dialogs' field layouts, hence on their instance sizes.
#pragma once

#include <cstdint>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The instance sizes of the layouts this module declares for the dialogs.
constexpr int32_t RecoverFormInheritenceSize = 940;
constexpr int32_t ReadErrorDlgSize = 932;

// Setup (EAX = dialog, EDX = form name, ECX = ancestor name; on the stack
// the file name, the candidates' comma text and the Boolean, declared in reverse).
using TRecoverSetup = void(QM_REGISTER*)(void* dialog, const wchar_t* formName, const wchar_t* ancestorName,
                                         uint32_t allowIgnore, const wchar_t* candidates, const wchar_t* fileName);
using TFormReadError = int32_t(QM_REGISTER*)(const wchar_t* fileName, const wchar_t* message);
extern TRecoverSetup OrgRecoverSetup;
extern TFormReadError OrgFormReadError;
void QM_REGISTER RecoverSetupReplacement(void* dialog, const wchar_t* formName, const wchar_t* ancestorName,
                                         uint32_t allowIgnore, const wchar_t* candidates, const wchar_t* fileName);
int32_t QM_REGISTER FormReadErrorReplacement(const wchar_t* fileName, const wchar_t* message);

TPatchPlan SmallErrorDlgsPlan();
void InstallSmallDfmLoadErrorDlgsPatch();

extern const TUnitInfo Unit_SmallDfmLoadErrorDlgsPatch;

} // namespace Quillmend
