// "ErrorInsight.LockCurrentDir": the IDE's compiler lock keeps the current
// directory. While the main thread waits for the lock, the background
// parser compiles and changes the process's current directory; the main
// thread's compile would then resolve units against the parser's directory.
// The lock ("Lock"/"UnLock" of delphicoreide150.bpl) saves and restores it,
// first asks the parser to cancel and takes the parser's lock on the main
// thread, and the parser's lock (TParseThread.Lock of coreide150.bpl) keeps
// running the threads' synchronisations while the main thread waits, so a
// parser waiting in Synchronize cannot deadlock it. Installed at library load.
#pragma once

#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The replacements (host register convention).
void QM_REGISTER CompilerLockReplacement();
int32_t QM_REGISTER CompilerUnLockReplacement();
void QM_REGISTER ParseThreadLockReplacement(void* parseThread);

// The calling thread's nesting of the compiler lock through the replacement.
int32_t CompilerLockNesting();

std::vector<TPatchPlan> ErrorInsightUnitResolveFixPlans();
void InstallErrorInsightUnitResolveFix();

extern const TUnitInfo Unit_ErrorInsightUnitResolveFix;

} // namespace Quillmend
