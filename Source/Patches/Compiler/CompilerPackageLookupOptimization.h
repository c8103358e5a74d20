// "Compiler.FindPackage": the compiler's walks over its loaded packages —
// a package by name, the package containing a unit, the duplicate-unit
// check — answered from a package lookup (PackageLookup.h) kept in step with
// the compiler's package load, removal and release.
#pragma once

#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"
#include "Hooking/PointerHashTable.h"
#include "Patches/Compiler/PackageLookup.h"

namespace Quillmend {

// Package-list head → its TPackageLookup; null until installed.
extern TPointerHashTable* Lookups;
// The list head the current lookup belongs to, and that lookup (null when none).
extern TDccPackage* LookupHead;
extern TPackageLookup* CurrentLookup;

// Makes CurrentLookup the lookup of the list's current head, built from the
// list if there is none and `create` is set.
void EnsureLookup(bool create);

// The replacements (host register convention).
TDccPackage* QM_REGISTER FindPackageByName(const char* name);
TDccPackage* QM_REGISTER FindOrLoadPackage(const char* name);
TDccPackage* QM_REGISTER FindUnitPackage(const char* unitName);
void QM_REGISTER OnRemovePackage(TDccPackage* package, uint32_t keepRecord);
void QM_REGISTER OnReleaseAll();
uint32_t QM_REGISTER CheckDuplicateUnits(TDccPackage* package);

std::vector<TPatchPlan> PackageLookupPlans();
// The wizard-init procedure.
void InstallPackageLookup();

extern const TUnitInfo Unit_CompilerPackageLookupOptimization;

} // namespace Quillmend
