// The unit-of-address index of the compiler library: every zone of the
// compiler's memory contexts in one array sorted by start address, so that
// "which unit (or context) does this address belong to" is a binary search
// plus a one-entry cache instead of a walk over every context and unit. The
// compiler's zone descriptors are enlarged to carry their context and, in a
// context's first zone, the unit the context belongs to; releasing that zone
// is where the compiler's release of a unit becomes visible
// (NotifyUnitReleased).
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"
#include "Patches/Compiler/DccStructs.h"

namespace Quillmend {

// The compiler's zone routines, called through their continuations.
using THostNewZone = TDccZone* QM_REGISTER (*)(TDccContext* context, uint32_t bytes);
using THostFreeZone = void QM_REGISTER (*)(TDccZone* zone);

// One slot of the index: a zone with copies of its start, size, context and
// unit (the ZoneUnit of its context's first zone), so that a question reads
// the index only; Zone is null only while a chain is removed.
struct TZoneIndexSlot {
  uintptr_t Start;
  uint32_t Size;
  TDccZone* Zone;
  TDccContext* Context;
  TDccUnit* Unit;
};

// Every indexed zone, sorted by Start.
extern std::vector<TZoneIndexSlot> ZoneIndex;
// The zone of the last successful search, or null.
extern TDccZone* LastZone;
extern THostFreeZone HostFreeZone;
extern THostNewZone HostNewZone;

// Binary search for the zone holding `address` (address - Start < Size,
// unsigned). True with its slot, or false with the slot where a zone
// starting at `address` would be inserted.
bool FindZoneIndex(const void* address, int32_t& index);
// The same while slots may be null: each probe takes the nearest non-null
// slot left of the middle, else right of it (and reports that slot).
bool FindZoneIndexSkippingNulls(const void* address, int32_t& index);

// The context holding `address` (LastZone first), or null.
TDccContext* FindContext(const void* address);
// The unit the context holding `address` belongs to (its first zone's ZoneUnit), or null.
TDccUnit* QM_REGISTER GetUnitOfAddress(const void* address) asm("QmGetUnitOfAddress");
// The same, null for a null address.
TDccContext* QM_REGISTER FindContextOrNil(const void* address) asm("QmFindContextOrNil");
TDccUnit* QM_REGISTER GetUnitOfOrNil(const void* address) asm("QmGetUnitOfOrNil");

// Replacements of the compiler's zone routines (host register convention).
// A new zone made current: indexed with its context, ZoneUnit 0.
TDccZone* QM_REGISTER OnZoneAllocated(TDccContext* context, uint32_t bytes);
// One zone released: it leaves the index (a context's first zone with a
// unit raises NotifyUnitReleased), then the compiler releases it.
void QM_REGISTER OnZoneFreed(TDccZone* zone);
// A chain released: every zone of it leaves the index (the first zone with
// a unit raises NotifyUnitReleased once), then the compiler releases each.
void QM_REGISTER OnZoneChainFreed(TDccZone* first);
// The unit creation routines' record allocation: its result becomes the
// ZoneUnit of the context's first zone (the argument's, resp. the current context's).
void* QM_REGISTER OnUnitCreated1(TDccContext* context, uint32_t bytes);
void* QM_REGISTER OnUnitCreated2(uint32_t bytes);

// Adds an enlarged zone (Context set) to the index; one already indexed at
// its start (a stale entry: that memory is this zone's now) is replaced.
void IndexZone(TDccZone* zone);

// The plans of "Compiler.GetUnitOf" and "Compiler.GetUnitOf.Imports".
TPatchPlan GetUnitOfPlan();
TPatchPlan GetUnitOfImportsPlan();
// The wizard-init procedure: both plans; converts the compiler's existing
// contexts when the first one applies to a memory manager in use, registers
// "Compiler.GetUnitOf.MemoryManagerError" when the allocator needed for that is missing.
void InstallGetUnitOf();
// Back to the state before installation (tests, finalization).
void ResetGetUnitOf();

extern const TUnitInfo Unit_CompilerOptimizationGetUnitOf;

} // namespace Quillmend
