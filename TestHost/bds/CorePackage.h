// The IDE's core package coreide150.bpl, which bds.exe loads right after the
// run-time (it is bound to the program, not listed under "Known IDE
// Packages"): package info checked, Initialize called in the guard, nothing
// journaled. Like rtl150.bpl it stays loaded until the process ends.
#pragma once

#include <string>

namespace QmHost {

struct HostApp;

// False with a reason when the package is missing, has no valid package
// info or no Initialize, or Initialize raised.
bool LoadCorePackage(HostApp& app, std::wstring& reason);

} // namespace QmHost
