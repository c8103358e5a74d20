// "IDE.WindowRestoreFix": the IDE's main form handles WM_SETTINGCHANGE by
// restoring its window when it is minimised, so any program that changes a
// system setting brings the minimised IDE back. The main form class's own
// handler of message 26 is replaced by one that calls TCustomForm's
// handler directly; the previous handler is put back when the library
// unloads.
#pragma once

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

void QM_REGISTER MainFormSettingChange(void* form, void* message);

TPatchPlan WindowRestoreFixPlan();
void InstallWMSettingsChangeFix();

extern const TUnitInfo Unit_WMSettingsChangeFix;

} // namespace Quillmend
