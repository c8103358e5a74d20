// Retargeting single call and jump instructions inside host code.
#pragma once

namespace Quillmend {

void* GetCallTargetAddress(const void* site);
void* ReplaceRelCallOffset(void* site, void* newTarget);
bool ReplaceOpCodeByRelCall(void* site, void* newTarget);
bool ReplaceOpCodeByRelJump(void* site, void* newTarget);
bool ReplaceInstructionByRelCall(void* site, void* newTarget);

} // namespace Quillmend
