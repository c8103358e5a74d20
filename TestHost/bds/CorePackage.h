// The packages bound to the program, which bds.exe loads right after the
// run-time, not listed under "Known IDE Packages": the core package
// coreide150.bpl, then the XML run-time xmlrtl150.bpl. Package info
// checked, Initialize called in the guard, nothing journaled. Like
// rtl150.bpl they stay loaded until the process ends.
#pragma once

#include <string>

namespace QmHost {

struct HostApp;

// False with a reason when the package is missing, has no valid package
// info or no Initialize, or Initialize raised.
bool LoadCorePackage(HostApp& app, std::wstring& reason);
// The same for another package of the host directory.
bool LoadBoundPackage(HostApp& app, const std::wstring& file, std::wstring& reason);

} // namespace QmHost
