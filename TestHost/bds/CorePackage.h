// The IDE's packages bound to the program, which bds.exe loads right after
// the run-time, before the "Known IDE Packages": the core package
// coreide150.bpl, then the Delphi personality's delphicoreide150.bpl (an
// expert's library finds both when it loads). Package info checked,
// Initialize called in the guard, nothing journaled. Like rtl150.bpl they
// stay loaded until the process ends; listed again as IDE packages they are
// skipped.
#pragma once

#include <windows.h>

#include <string>

namespace QmHost {

struct HostApp;

// False with a reason when a package is missing, has no valid package info
// or no Initialize, or Initialize raised.
bool LoadCorePackages(HostApp& app, std::wstring& reason);
// Whether the module is one of them.
bool IsCorePackage(HMODULE module);

} // namespace QmHost
