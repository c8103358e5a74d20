// The host's notice before it unloads a package: the run-time's module
// unload procedures (AddModuleUnloadProc) are told the module's handle, as
// the host's UnloadPackage does before freeing the module.
#pragma once

#include <windows.h>

namespace QmHost {

struct HostApp;

// Calls rtl150.bpl's NotifyModuleUnload(module) inside the guard (a raise
// is journaled as EXCEPTION); nothing when the run-time lacks it.
void NotifyModuleUnload(HostApp& app, HMODULE module);

} // namespace QmHost
