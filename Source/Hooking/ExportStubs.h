// Debug stubs of the old consumer Windows (95, 98, Me): in front of an export
// that a debugger may see, the system put a "push <real address>; jmp ..."
// stub. The NT family has none, so there the stubs are ordinary code.
#pragma once

namespace Quillmend {

// True on the NT family. Asked once per process.
bool IsNtFamily();

// Whether p starts a "push imm32; jmp rel32" stub (68 xx xx xx xx E9). Reads
// six bytes at p.
bool IsPushJumpStub(const void* p);

// The address a stub pushes: the real export behind it.
void* PushedAddress(const void* stub);

} // namespace Quillmend
