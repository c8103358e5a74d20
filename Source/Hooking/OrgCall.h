// Original-call trampolines: the displaced start of a function moved into
// executable memory, followed by a jump back to the rest of the function.
#pragma once

namespace Quillmend {

// A trampoline running the routine as it is now: its start code (whole
// instructions, at least five bytes, one relative displacement moved) and a
// jump back behind it, carved from the engine's pool (never freed). Writes
// nothing into the routine. Raises for nil and for an undecodable start.
void* CreateOrgCallMethodPtr(void* proc);
// CreateOrgCallMethodPtr, then a jump to `newProc` over the start code (nops
// after it); returns the trampoline. Raises the system error of a refused write.
void* RedirectOrgCall(void* proc, void* newProc);
// The same jump without a trampoline.
void RedirectOrg(void* proc, void* newProc);
// Puts the start code kept in the trampoline back over the routine (its
// displacement moved back); nothing for a null trampoline.
void RestoreOrgCall(void* proc, void* orgCallMethodPtr);
// Gives a trampoline from CreateOrgCallMethodPtr back to the pool, once
// nothing can call it any more (the routine's module is gone).
void ReleaseOrgCallMethodPtr(void* orgCallMethodPtr);

} // namespace Quillmend
