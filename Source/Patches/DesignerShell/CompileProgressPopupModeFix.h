// "IDE.CompileProgess.PopupMode": the compile progress form is created with
// the application's window as its parent, so it can fall behind the IDE's
// main window. The progress form class's CreateParams (TCustomForm's, in
// its virtual method table) is replaced by one that calls it and then
// makes the application's main form the parent window, when the main form
// is taller than 120 pixels (a main form reduced to its title bar and
// menus is no place to show the form over).
#pragma once

#include <cstdint>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

constexpr int32_t PopupParentMinHeight = 121;

using TCreateParams = void(QM_REGISTER*)(void* form, void* params);
extern TCreateParams OrgProgressCreateParams;
void QM_REGISTER ProgressCreateParamsReplacement(void* form, void* params);

TPatchPlan CompileProgressPopupModePlan();
void InstallCompileProgressPopupModeFix();

extern const TUnitInfo Unit_CompileProgressPopupModeFix;

} // namespace Quillmend
