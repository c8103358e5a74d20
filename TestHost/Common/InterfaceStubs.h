// Interfaces of host-layout objects, built from C++ the way the host's
// compiler lays them out: an object holds, at a fixed offset, a pointer to
// the interface's method table; each entry of that table is a small
// adjustment stub that turns the interface reference back into the object
// and jumps to the class's method. The class record's interface table
// (header slot -84) lists {IID, method table, offset} per interface; the
// run-time's NewInstance writes the method-table pointers into each new
// object, and GetInterface answers QueryInterface from the table.
//
// Stub forms (of the first entry; the others follow the convention of
// their method):
//   StackByte  83 44 24 04 xx        add [esp+4],xx       (stdcall, offset < 128)
//   StackLong  81 44 24 04 imm32     add [esp+4],imm32
//   RegByte    83 C0 xx              add eax,xx           (then the stack form)
//   RegLong    05 imm32              add eax,imm32        (then the stack form)
//   Prologue   55 8B EC ...          an ordinary function (push ebp; mov ebp,esp)
//   Unknown    8B 44 24 04 ...       none of the above
// Register-convention methods (index 3 on) get 83 C0 xx or 05 imm32.
#pragma once

#include <windows.h>

#include <cstdint>

namespace QmHost {

enum class StubForm { StackByte, StackLong, RegByte, RegLong, Prologue, Unknown };

// A method table for an interface at `offset` in its objects: `count`
// entries, entry i jumping to methods[i] with the reference adjusted to the
// object. The first entry takes `first`; IUnknown's other two entries the
// stack form that fits the offset. Lives as long as the module.
const void* const* MakeInterfaceMethods(int offset, StubForm first, const void* const* methods, int count);

#pragma pack(push, 1)
struct InterfaceEntry {
  GUID iid;
  const void* const* methods;
  std::int32_t offset;
  std::uint32_t getter;  // 0: the slot at `offset` holds the reference
};
#pragma pack(pop)

// An interface table for a class record: count, then the entries. Lives as
// long as the module; written into the class record's slot -84.
void SetInterfaceTable(void* classRef, const InterfaceEntry* entries, int count);

} // namespace QmHost
