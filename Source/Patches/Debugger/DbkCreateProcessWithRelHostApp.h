// "Debugger.FullExpandHostApp": TDebugKernel.CreateProcess of the debugger's
// IDE package (dbkdebugide150.bpl) hands the program name to the debugger
// kernel as given, and the kernel does not find a program named relative to
// the IDE's current directory. The routine is redirected to a replacement
// that expands the program name (its first string argument) to a full path
// when such a file exists, then goes on in the routine with every other
// argument unchanged. Installed at the expert entry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

constexpr const char* DebugKernelCreateProcessExport =
    "@Debug@TDebugKernel@CreateProcess$qqrx47System@%DelphiInterface$t19Dbk@IDbkProcClntOps%uix20System@"
    "UnicodeString20System@UnicodeStringt3p15Dbk@DbkEnvBlockt3t4ui";

// Boolean TDebugKernel.CreateProcess(const ProcClntOps; Flags: Cardinal;
// const FileName: string; Arguments: string; const WorkingDirectory:
// string; Environment: PDbkEnvBlock; const RemoteHost: string; RemotePath:
// string; Options: Cardinal). Host register convention: Self, ProcClntOps,
// Flags in registers, the seven others pushed in order (declared here in
// reverse); the result in AL.
using TDebugKernelCreateProcess = uint32_t(QM_REGISTER*)(void* self, void* procClntOps, uint32_t flags,
                                                           uint32_t options, wchar_t* remotePath,
                                                           const wchar_t* remoteHost, void* environment,
                                                           const wchar_t* workingDirectory, wchar_t* arguments,
                                                           const wchar_t* fileName);

uint32_t QM_REGISTER CreateProcessWithFullPath(void* self, void* procClntOps, uint32_t flags, uint32_t options,
                                               wchar_t* remotePath, const wchar_t* remoteHost, void* environment,
                                               const wchar_t* workingDirectory, wchar_t* arguments,
                                               const wchar_t* fileName);

// The full path of an existing file named `name` (relative names against the
// current directory); empty when it cannot be expanded or no such file exists.
std::wstring ExpandExistingFileName(const std::wstring& name);

std::vector<TPatchPlan> DbkCreateProcessWithRelHostAppPlans();
void InstallDbkCreateProcessWithRelHostApp();

extern const TUnitInfo Unit_DbkCreateProcessWithRelHostApp;

}  // namespace Quillmend
