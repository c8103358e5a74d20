// "Debugger.ErrorMode": the debugger kernel (bordbk150N.dll) and the
// debugger's IDE package (dbkdebugide150.bpl) start programs through their
// imports of CreateProcessW; both import slots lead to a replacement that
// adds CREATE_DEFAULT_ERROR_MODE to the creation flags, so a debugged
// program does not inherit the IDE's error mode. Applied only when the
// slots of both modules were replaced. Installed at the expert entry.
#pragma once

#include <vector>
#include <windows.h>

#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

BOOL WINAPI CreateProcessWithDefaultErrorMode(LPCWSTR application, LPWSTR commandLine,
                                              LPSECURITY_ATTRIBUTES processAttributes,
                                              LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles,
                                              DWORD flags, LPVOID environment, LPCWSTR currentDirectory,
                                              LPSTARTUPINFOW startupInfo, LPPROCESS_INFORMATION processInformation);

std::vector<TPatchPlan> DbkDefaultErrorModeFixPlans();
void InstallDbkDefaultErrorModeFix();
// Whether the patch holds a reference of its own to the kernel (released at finalization).
bool DbkDefaultErrorModeFixHoldsKernel();

extern const TUnitInfo Unit_DbkDefaultErrorModeFix;

}  // namespace Quillmend
