// "ErrorInsight.SetKibitzedSinceCompiled": error insight no longer forces a
// recompile after every pass. The IDE calls "SetKibitzedSinceCompiled" after
// each error-insight pass, also when the compiler answered from what it had
// (no code-insight compile ran), and the next build then recompiles the
// unit. A thread-local flag tells whether the last "CompilerGetUnitCmdLine"
// on this thread reached the compiler's counter of code-insight compiles;
// if not, the next "SetKibitzedSinceCompiled" of that thread is swallowed.
// Installed at the expert entry.
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/KibitzedFlag.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The compiler's counter replaced: allows the flag, then the counter's value
// (and the counter + 1).
uint32_t QM_REGISTER CountAndAllow() asm("_QmCountAndAllow");
// The IDE's routine, called unless this thread's flag is suppressed (then
// the suppression is used up).
void __stdcall GuardedSetKibitzed(int32_t value);

std::vector<TPatchPlan> CompilerErrorInsightKibitzedFixPlans();
void InstallCompilerErrorInsightKibitzedFix();

extern const TUnitInfo Unit_CompilerErrorInsightKibitzedFix;

} // namespace Quillmend
