// Sizing a function start by decoding whole instructions, so a jump written
// over it never cuts an instruction in half.
#pragma once

#include <cstdint>
#include <vector>

namespace Quillmend {

// Addresses of the relative displacements (calls/jumps) met while sizing.
struct TOffsetTable {
  std::vector<int32_t*> Offsets;
  void Add(int32_t* p) { Offsets.push_back(p); }
};
using POffsetTable = TOffsetTable*;

// Number of bytes of whole instructions from proc covering at least minSize.
// Raises "Function is too small", the breakpoint error, or
// "Cannot handle opcode %x %x %x %x" for anything outside the decoder table.
int32_t GetStartCodeSize(const void* proc, int32_t minSize, POffsetTable offsetTable);

} // namespace Quillmend
