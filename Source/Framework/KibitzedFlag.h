// The calling thread's permission for the IDE's "SetKibitzedSinceCompiled":
// a thread-local byte, set through the library's export
// "SetAllowKibitzedFlag" (any module may call it) and by the compiler patch
// that knows when a code-insight compile really ran.
#pragma once

#include <cstdint>

#include "Framework/HostAbi.h"

namespace Quillmend {

// Exported as "SetAllowKibitzedFlag" (host register convention, Allow in
// al): the calling thread's next SetKibitzedSinceCompiled is swallowed
// unless Allow is nonzero.
void QM_REGISTER SetAllowKibitzedFlag(uint8_t allow) asm("_QmSetAllowKibitzedFlag");

// Whether the calling thread's next SetKibitzedSinceCompiled is swallowed.
bool KibitzedSuppressed();
// True when it is; the suppression is used up then.
bool TakeKibitzedSuppression();

} // namespace Quillmend
