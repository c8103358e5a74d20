// Reading values out of host code found by pattern: embedded addresses and
// constants, and the targets of relative calls. Nothing here writes.
#pragma once

#include <cstdint>

#include "Hooking/CallSites.h"
#include "Hooking/Emit.h"

namespace Quillmend {

inline uint8_t* CodeAt(void* match, int32_t offset) { return static_cast<uint8_t*>(match) + offset; }

inline uint32_t ReadCodeU32(const void* code) { return static_cast<uint32_t>(ReadInt32(code)); }

// The absolute address an instruction operand at match+offset holds, typed as
// the host variable it points at.
template <class T>
T* ReadCodeAddress(void* match, int32_t offset) {
  return static_cast<T*>(ReadPointer(CodeAt(match, offset)));
}

// Target of the relative call (or jump) instruction at match+offset; null
// when no such instruction is there.
inline void* CallTargetAt(void* match, int32_t offset) { return GetCallTargetAddress(CodeAt(match, offset)); }

// Whether a constant embedded in matched code has the expected value.
inline bool EmbeddedU8Is(void* match, int32_t offset, uint32_t expected) { return *CodeAt(match, offset) == expected; }
inline bool EmbeddedU32Is(void* match, int32_t offset, uint32_t expected) {
  return ReadCodeU32(CodeAt(match, offset)) == expected;
}

} // namespace Quillmend
