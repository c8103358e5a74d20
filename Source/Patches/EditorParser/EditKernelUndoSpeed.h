// "IDE.Editor.UndoSpeed": the editor kernel undoes a group entry by entry,
// revalidating the whole buffer after each one. The loop's call of the
// per-item routine reaches an adapter instead and the loop's backward jump
// is gone, so the loop body runs once: a group of one entry still goes to
// the per-item routine with the loop's own arguments, a larger group to the
// kernel's range routine, which undoes the half-open range in one call.
#pragma once

#include <cstdint>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The kernel's routines (host register convention).
using TUndoRangeProc = void(QM_REGISTER*)(void* list, int32_t first, int32_t end);  // end exclusive
using TUndoItemProc = void(QM_REGISTER*)(void* list, const void* itemRecord);
extern TUndoRangeProc UndoRangeProc;
extern TUndoItemProc UndoItemProc;

// What the adapter (UndoSpeedAdapter.S) calls with the loop's registers:
// EAX (the undo list), EDX (the item record), ESI (first), EDI (last).
void __cdecl UndoOnce(void* list, const void* itemRecord, int32_t first, int32_t last) asm("QmUndoOnce");

TPatchPlan UndoSpeedPlan();
void InstallEditKernelUndoSpeed();

extern const TUnitInfo Unit_EditKernelUndoSpeed;

} // namespace Quillmend
