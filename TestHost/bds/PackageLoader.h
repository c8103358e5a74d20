// Loads the IDE packages under "<root>\Known IDE Packages" the way the
// IDE's package loader does, and finalizes them at shutdown.
//
// A value name is the package's path, its data the description. Skipped:
// data empty or beginning with "_", and names also listed under
// "<root>\Disabled Packages" (journaled PACKAGE-SKIPPED). Each package is
// loaded with LoadLibraryW and refused (journaled PACKAGE-REFUSED, module
// unloaded) if it lacks a valid PACKAGEINFO resource, contains a unit that
// an already loaded package contains, or lacks the export "Initialize".
// Otherwise PACKAGE-LOADED, then Initialize (stdcall void(void)) runs in an
// exception guard: PACKAGE-INITIALIZED, or EXCEPTION and PACKAGE-REFUSED
// (the package is unloaded without Finalize, as a failed load is).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "Common/PackageInfo.h"

namespace QmHost {

struct LoadedPackage {
  std::wstring path;
  HMODULE module;
  PackageInfo info;
};

void LoadKnownPackages();
// Loads a run-time package the IDE has before any IDE package (vcl150.bpl):
// its PACKAGEINFO must be valid, its units count for the duplicate-unit
// check of the IDE packages, and its Initialize runs (guarded). It stays
// loaded until the process ends and is not finalized here, like rtl150.bpl.
// Nothing is journaled. False, with the reason, when it cannot be loaded.
bool LoadRuntimePackage(const std::wstring& path, std::wstring& error);
// Loads one package (the steps above, without the registry checks).
bool LoadPackage(const std::wstring& path);
// Calls "Finalize" of every loaded package in reverse order of loading
// (PACKAGE-FINALIZED), tells the run-time's module unload procedures, then
// unloads it.
void FinalizePackages();

const std::vector<LoadedPackage>& LoadedPackages();

} // namespace QmHost
