// "RTL.SystemOptimization": the host run-time's LoadResString answered from
// a cache of loaded texts (ResourceStringCache), and TObject.ClassNameIs
// comparing the class's short-string name in place. Installed at unit
// initialization; the cache is emptied of a module when the host unloads it.
#pragma once

#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"
#include "Patches/SystemUnit/ResourceStringCache.h"

namespace Quillmend {

// function LoadResString(ResStringRec: PResStringRec): string — EAX = rec, EDX = result variable.
void QM_REGISTER LoadResStringReplacement(const TResStringRec* rec, wchar_t** result);
// class function TObject.ClassNameIs(const Name: string): Boolean — EAX = class, EDX = Name.
// ASCII characters are compared ignoring ASCII case where they stand; at a
// character of U+0080 or above on either side, the whole names by
// CompareStringW with the host's UTF-8 comparison locale, ignoring case.
bool QM_REGISTER ClassNameIsReplacement(const void* classRef, const wchar_t* name);

TResourceStringCache& ResourceStringCache();

std::vector<TPatchPlan> SystemOptimizePlans();
void InstallSystemOptimize();

extern const TUnitInfo Unit_SystemOptimize;

}  // namespace Quillmend
