#include "Hooking/StartCodeSize.h"

#include "Hooking/Emit.h"
#include "Hooking/EngineError.h"

#include <initializer_list>

namespace Quillmend {

namespace {

// A set of byte values. Built at compile time, so the decoder table is ready
// before any static initializer of a patch module asks for it.
struct TByteSet {
  uint32_t Bits[8];
  constexpr bool Has(uint8_t b) const { return (Bits[b >> 5] >> (b & 31)) & 1u; }
  constexpr bool IsAny() const {
    for (uint32_t word : Bits)
      if (word != ~0u) return false;
    return true;
  }
};

template <typename... T>
constexpr TByteSet Bytes(T... values) {
  TByteSet set{};
  for (int v : {static_cast<int>(values)...}) set.Bits[v >> 5] |= 1u << (v & 31);
  return set;
}

constexpr TByteSet Any = {{~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u}};

enum TRowFlags : uint8_t {
  Plain = 0,
  EndsFunction = 1,    // ret / ret imm16: nothing after it belongs to the function
  RelativeTarget = 2,  // call/jmp rel32: the displacement must be moved with the code
};

struct TDecoderRow {
  TByteSet Opcode;
  TByteSet B1;  // the byte after the opcode
  TByteSet B2;  // the byte after that
  uint8_t Length;
  uint8_t Flags;
};

// The instruction forms met at the starts of the functions we redirect
// (among them the stack-aligning start of Wine's GetExitCodeProcess, lea
// ecx,[esp+d8] / and esp,-16). No
// prefix byte is known, and push esp (0x54) is left out on purpose. 0x88 (mov
// r/m8, r8) has no row: storing a byte register is refused even in the
// [esp] forms whose 0x89 counterparts are accepted.
constexpr TDecoderRow DecoderTable[] = {
    // opcode                                            b1                                    b2           len flags
    {Bytes(0x03),                                        Bytes(0xFF),                          Any,         2, Plain},
    {Bytes(0x31),                                        Bytes(0xC0),                          Any,         2, Plain},
    {Bytes(0x33),                                        Bytes(0xC0, 0xC9, 0xD2, 0xDB),        Any,         2, Plain},
    {Bytes(0x3B),                                        Bytes(0x05),                          Any,         6, Plain},
    {Bytes(0x50, 0x51, 0x52, 0x53, 0x55, 0x56, 0x57, 0x5D), Any,                               Any,         1, Plain},
    {Bytes(0x68),                                        Any,                                  Any,         5, Plain},
    {Bytes(0x6A),                                        Any,                                  Any,         2, Plain},
    {Bytes(0x80),                                        Bytes(0x4B, 0x7B),                    Any,         4, Plain},
    {Bytes(0x80),                                        Bytes(0x3D, 0xB8),                    Any,         7, Plain},
    {Bytes(0x81),                                        Bytes(0xC4, 0xC6, 0xC7, 0xFE),        Any,         6, Plain},
    {Bytes(0x83),                                        Bytes(0xC4, 0xCF, 0xE4),              Any,         3, Plain},
    {Bytes(0x83),                                        Bytes(0x7D),                          Any,         4, Plain},
    {Bytes(0x83),                                        Bytes(0x3D),                          Any,         7, Plain},
    {Bytes(0x85),                                        Bytes(0xC0, 0xC9, 0xD2, 0xDB),        Any,         2, Plain},
    {Bytes(0x87),                                        Bytes(0xCA),                          Any,         2, Plain},
    {Bytes(0x89),                                        Bytes(0xC3, 0xD6),                    Any,         2, Plain},
    {Bytes(0x89),                                        Bytes(0x04, 0x0C),                    Bytes(0x24), 3, Plain},
    {Bytes(0x8B),                                        Bytes(0x08, 0x0A, 0xC3, 0xC5, 0xC6, 0xC7, 0xD4, 0xD8, 0xDA, 0xE9, 0xEA,
                                                               0xEC, 0xF0, 0xF1, 0xF2, 0xF4, 0xF8, 0xF9, 0xFA, 0xFC, 0xFF),
                                                                                               Any,         2, Plain},
    {Bytes(0x8B),                                        Bytes(0x40, 0x43, 0x45, 0x48, 0x4D, 0x50, 0x53, 0x55, 0x75),
                                                                                               Any,         3, Plain},
    {Bytes(0x8B),                                        Bytes(0x0D, 0x15, 0x80, 0x86, 0xB3, 0xB5), Any,    6, Plain},
    {Bytes(0x8D),                                        Bytes(0x7D),                          Any,         3, Plain},
    {Bytes(0x8D),                                        Bytes(0x4C),                          Bytes(0x24), 4, Plain},
    {Bytes(0x8D),                                        Bytes(0x88),                          Any,         6, Plain},
    {Bytes(0x90, 0x91),                                  Any,                                  Any,         1, Plain},
    {Bytes(0xA1),                                        Any,                                  Any,         5, Plain},
    {Bytes(0xB1),                                        Any,                                  Any,         2, Plain},
    {Bytes(0xB8, 0xB9, 0xBA, 0xBB, 0xBE, 0xBF),          Any,                                  Any,         5, Plain},
    {Bytes(0xC2),                                        Any,                                  Any,         3, EndsFunction},
    {Bytes(0xC3),                                        Any,                                  Any,         1, EndsFunction},
    {Bytes(0xC6),                                        Bytes(0x02, 0x06),                    Any,         3, Plain},
    {Bytes(0xC6),                                        Bytes(0x04),                          Bytes(0x24), 4, Plain},
    {Bytes(0xC6),                                        Bytes(0x80),                          Any,         7, Plain},
    {Bytes(0xE8, 0xE9),                                  Any,                                  Any,         5, RelativeTarget},
    {Bytes(0xFF),                                        Bytes(0x51),                          Any,         3, Plain},
    {Bytes(0xFF),                                        Bytes(0x25, 0x93),                    Any,         6, Plain},
};

// Bytes after the opcode are read only when a row needs them.
const TDecoderRow* FindRow(const uint8_t* p) {
  for (const TDecoderRow& row : DecoderTable) {
    if (!row.Opcode.Has(p[0])) continue;
    if (!row.B1.IsAny() && !row.B1.Has(p[1])) continue;
    if (!row.B2.IsAny() && !row.B2.Has(p[2])) continue;
    return &row;
  }
  return nullptr;
}

} // namespace

int32_t GetStartCodeSize(const void* proc, int32_t minSize, POffsetTable offsetTable) {
  auto* p = static_cast<const uint8_t*>(proc);
  int32_t total = 0;
  bool endSeen = false;
  while (total < minSize) {
    if (endSeen) RaiseError("Function is too small");
    if (p[0] == OpInt3) RaiseError("Breakpoint found. Remove the breakpoint before hooking the function");
    const TDecoderRow* row = FindRow(p);
    if (!row) RaiseError("Cannot handle opcode %x %x %x %x", p[0], p[1], p[2], p[3]);
    if ((row->Flags & RelativeTarget) && offsetTable)
      offsetTable->Add(reinterpret_cast<int32_t*>(const_cast<uint8_t*>(p + 1)));
    if (row->Flags & EndsFunction) endSeen = true;
    total += row->Length;
    p += row->Length;
  }
  return total;
}

} // namespace Quillmend
