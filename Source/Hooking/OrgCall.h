// Original-call trampolines: the displaced start of a function moved into
// executable memory, followed by a jump back to the rest of the function.
#pragma once

namespace Quillmend {

void* CreateOrgCallMethodPtr(void* proc);
void* RedirectOrgCall(void* proc, void* newProc);
void RedirectOrg(void* proc, void* newProc);
void RestoreOrgCall(void* proc, void* orgCallMethodPtr);

} // namespace Quillmend
