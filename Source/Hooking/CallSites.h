// Retargeting single call and jump instructions inside host code.
#pragma once

namespace Quillmend {

// Target of the relative call (E8) or jump (E9) at `site`; null for a null
// site or another instruction. Reads five bytes.
void* GetCallTargetAddress(const void* site);
// Re-aims the relative call or jump at `site` by rewriting its displacement;
// returns the old target (nothing written when it already is `newTarget`),
// null when no such instruction is there or the write is refused.
void* ReplaceRelCallOffset(void* site, void* newTarget);
// Writes a 5-byte relative call / jump over whatever starts at `site`
// (callers make sure whole instructions are covered); false for a null site
// or a refused write.
bool ReplaceOpCodeByRelCall(void* site, void* newTarget);
bool ReplaceOpCodeByRelJump(void* site, void* newTarget);
// Writes a relative call at `site` over whole instructions (decoded), the
// rest of the last one filled with nops; false for a null site. Raises the
// decoder's errors and the system error of a refused write.
bool ReplaceInstructionByRelCall(void* site, void* newTarget);

} // namespace Quillmend
