// The host's ABI in one place: calling convention, strings, class layout and
// exceptions of the IDE's run-time library. Patches use this layer; they do
// not reinvent it.
#pragma once

// The host's register calling convention: EAX, EDX, ECX, then the remaining
// arguments on the stack (pushed left to right, so declare them in reverse
// order when there are five or more); the callee removes them.
#define QM_REGISTER __attribute__((regparm(3), stdcall))
