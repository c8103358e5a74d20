// Tiny code emitters: each function writes one instruction form into a buffer
// and returns the position after it. `at` is the address the instruction will
// execute from, which differs from `code` when a patch is built in a local
// buffer and copied over its target afterwards.
#pragma once

#include <cstdint>
#include <cstring>

namespace Quillmend {

constexpr uint8_t OpCallRel32 = 0xE8;
constexpr uint8_t OpJmpRel32 = 0xE9;
constexpr uint8_t OpNop = 0x90;
constexpr uint8_t OpInt3 = 0xCC;
constexpr uint32_t Rel32InstructionSize = 5;

// Displacement of a 5-byte relative call/jump at `at` that reaches `target`.
inline int32_t Rel32Displacement(const void* at, const void* target) {
  return static_cast<int32_t>(reinterpret_cast<uintptr_t>(target) -
                              (reinterpret_cast<uintptr_t>(at) + Rel32InstructionSize));
}

// Unaligned 32-bit load and store: code holds displacements at any address.
inline int32_t ReadInt32(const void* p) {
  int32_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

inline void WriteInt32(void* p, int32_t value) { std::memcpy(p, &value, sizeof value); }

// A 32-bit address held at p (an operand, a table slot, a pushed constant).
inline void* ReadPointer(const void* p) {
  return reinterpret_cast<void*>(static_cast<uintptr_t>(static_cast<uint32_t>(ReadInt32(p))));
}

// E9 rel32
inline uint8_t* EmitJmpRel32(uint8_t* code, const void* at, const void* target) {
  code[0] = OpJmpRel32;
  WriteInt32(code + 1, Rel32Displacement(at, target));
  return code + Rel32InstructionSize;
}

// E8 rel32
inline uint8_t* EmitCallRel32(uint8_t* code, const void* at, const void* target) {
  code[0] = OpCallRel32;
  WriteInt32(code + 1, Rel32Displacement(at, target));
  return code + Rel32InstructionSize;
}

// 90 ... (fills the rest of a displaced instruction behind a jump)
inline uint8_t* EmitNops(uint8_t* code, uint32_t count) {
  std::memset(code, OpNop, count);
  return code + count;
}

// CC ... (padding that traps if execution ever runs into it)
inline uint8_t* EmitInt3s(uint8_t* code, uint32_t count) {
  std::memset(code, OpInt3, count);
  return code + count;
}

} // namespace Quillmend
