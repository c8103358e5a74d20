// "IDE.Parser.ElisionLock": a code module's NotifyDestroyed frees the
// module's text while the background parser may still be reading it. On the
// main thread the background parser is first canceled and locked
// (TParseThread.CancelAndLock) and unlocked after the original (also when it
// raises); without a parse thread, and on other threads, the original runs
// alone.
#pragma once

#include <cstdint>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// NotifyDestroyed(Self; const Intf, Other: IInterface).
using TNotifyDestroyed = void(QM_REGISTER*)(void* module, void* intf, void* other);
using TParseThreadMethod = void(QM_REGISTER*)(void* thread);
extern TNotifyDestroyed OrgNotifyDestroyed;
void QM_REGISTER NotifyDestroyedReplacement(void* module, void* intf, void* other);

TPatchPlan ElisionLockPlan();
void InstallElisionDestroyedLockFix();

extern const TUnitInfo Unit_ElisionDestroyedLockFix;

} // namespace Quillmend
