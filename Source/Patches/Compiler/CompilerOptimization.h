// Unit list optimizations of the compiler library: the compiler's list walks
// (who imports a unit, which unit has a name, which units to free) replaced by
// a used-by index and a unit-name dictionary, plus rewrites of host loops.
// Later compiler patches build on the state and notifications declared here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/PatchPlan.h"
#include "Framework/LibraryUnitTable.h"
#include "Patches/Compiler/DccStructs.h"

namespace Quillmend {

// Compiler routines captured by address (host register convention).
using THostNameCompare = int32_t QM_REGISTER (*)(const char* a, const char* b);  // 0 when equal
using THostUnitFree = TDccUnit* QM_REGISTER (*)(TDccUnit* unit);                 // returns the next unit
using THostNameHashByte = uint32_t QM_REGISTER (*)(const char* name);            // hash in al
using THostResolveAlias = const char* QM_REGISTER (*)(const char* name);

// Called first by the reset replacement with the host loop's eax, edx, ecx.
using TPreResetHandler = void (*)(uint32_t eax, uint32_t edx, uint32_t ecx);
// Told about every unit record the compiler releases.
using TUnitReleaseHandler = void (*)(void* unit);

// Addresses of the compiler's variables, null until found.
extern TDccUnit** UnitListHead;
extern TDccUnit** UnitListTail;
extern TDccRecordNode** FurtherList1Head;
extern TDccRecordGroup** FurtherList2Head;

extern THostNameCompare HostNameCompare;
extern THostUnitFree HostUnitFree;
extern THostNameHashByte HostNameHashByte;
extern THostResolveAlias HostResolveAlias;

// 1 while this module frees units in a loop (the unlinking replacement then does nothing).
extern uint8_t InMassReset;
extern TPreResetHandler PreResetHandler;
extern TUnitReleaseHandler UnitReleaseHandler;

// The compiler released a unit record: it leaves the name dictionary, then
// UnitReleaseHandler is told.
void NotifyUnitReleased(void* unit);

// Loaded unit of a name given as text (aliases resolved when the compiler's
// alias routine is known); null if none.
TDccUnit* FindUnitByTextName(const std::wstring& name);

// Whether the loaded units must be discarded after a compile: the last and
// the current option strings differ (exactly one is none, or both are set
// and differ ordinally). Unless keepEmpty is nonzero, an empty string counts
// as none. Result in al.
uint32_t QM_REGISTER StringsDiffer(uint32_t keepEmpty) asm("QmStringsDiffer");

// Finds a unit like the compiler's lookup by name, through the dictionary.
TDccUnit* QM_REGISTER UnitFindReplacement(const char* name);

// The sub-patches' plans, in installation order.
std::vector<TPatchPlan> CompilerOptimizationPlans();
// The wizard-init procedure installing "Compiler.Optimization" and its sub-patches.
void InstallCompilerOptimization();

extern const TUnitInfo Unit_CompilerOptimization;

} // namespace Quillmend
