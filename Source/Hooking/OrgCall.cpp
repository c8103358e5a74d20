#include "Hooking/OrgCall.h"

#include "Hooking/CodeRedirect.h"
#include "Hooking/EngineError.h"
#include "Hooking/Emit.h"
#include "Hooking/StartCodeSize.h"
#include "Hooking/TrampolinePool.h"

#include <cstring>

namespace Quillmend {

namespace {

// Whole instructions covering the 5-byte jump; the last one may reach 6 bytes
// further, so a start code never exceeds 4 + 7 bytes.
constexpr int32_t MinStartCode = 5;
constexpr uint32_t MaxStartCode = 16;

// Trampoline size: the start code, the jump back, and 1 to 4 filler bytes
// that keep the next trampoline 4-byte aligned.
uint32_t TrampolineSize(int32_t startCode) { return (static_cast<uint32_t>(startCode) + 5 + 1 + 3) & ~3u; }

// Copies a start code from `from` to `to` (a buffer that will run at `at`),
// moving the one relative displacement it may hold so that it reaches the
// same absolute target from the new place.
void CopyStartCode(uint8_t* to, const uint8_t* at, const uint8_t* from, int32_t size, const TOffsetTable& offsets) {
  std::memcpy(to, from, size);
  if (offsets.Offsets.empty()) return;
  const auto* displacement = reinterpret_cast<const uint8_t*>(offsets.Offsets[0]);
  const ptrdiff_t position = displacement - from;
  WriteInt32(to + position, ReadInt32(displacement) + static_cast<int32_t>(from - at));
}

// Writes a jump to newProc over the start code of proc, padding the rest of
// the last displaced instruction with nops.
void WriteRedirectJump(uint8_t* proc, void* newProc) {
  const int32_t size = GetStartCodeSize(proc, MinStartCode, nullptr);
  uint8_t code[MaxStartCode];
  EmitNops(EmitJmpRel32(code, proc, newProc), size - Rel32InstructionSize);
  uint32_t written = 0;
  if (!WriteCodeMemory(proc, code, size, written)) RaiseLastOSError();
}

} // namespace

void* CreateOrgCallMethodPtr(void* proc) {
  if (!proc) RaiseError("CreateOrgCallMethodPtr called with nil");
  auto* start = static_cast<uint8_t*>(proc);
  TOffsetTable offsets;
  const int32_t size = GetStartCodeSize(start, MinStartCode, &offsets);
  if (size == 0) RaiseError("Cannot create OrgCallMethod for the specified function");

  const uint32_t allocated = TrampolineSize(size);
  uint8_t* trampoline = TrampolinePool().Allocate(allocated);
  CopyStartCode(trampoline, trampoline, start, size, offsets);
  uint8_t* filler = EmitJmpRel32(trampoline + size, trampoline + size, start + size);
  EmitInt3s(filler, allocated - size - Rel32InstructionSize);
  FlushInstructionCache(GetCurrentProcess(), trampoline, allocated);
  return trampoline;
}

void ReleaseOrgCallMethodPtr(void* orgCallMethodPtr) {
  if (!orgCallMethodPtr) return;
  // The trampoline starts with the routine's start code: its size says how
  // big the trampoline was made.
  const int32_t size = GetStartCodeSize(static_cast<uint8_t*>(orgCallMethodPtr), MinStartCode, nullptr);
  TrampolinePool().Release(static_cast<uint8_t*>(orgCallMethodPtr), TrampolineSize(size));
}

void* RedirectOrgCall(void* proc, void* newProc) {
  proc = GetActualAddr(proc);
  newProc = GetActualAddr(newProc);
  void* trampoline = CreateOrgCallMethodPtr(proc);
  WriteRedirectJump(static_cast<uint8_t*>(proc), newProc);
  return trampoline;
}

void RedirectOrg(void* proc, void* newProc) {
  proc = GetActualAddr(proc);
  newProc = GetActualAddr(newProc);
  WriteRedirectJump(static_cast<uint8_t*>(proc), newProc);
}

void RestoreOrgCall(void* proc, void* orgCallMethodPtr) {
  if (!orgCallMethodPtr) return;
  auto* target = static_cast<uint8_t*>(GetActualAddr(proc));
  auto* trampoline = static_cast<uint8_t*>(orgCallMethodPtr);
  // The trampoline starts with the function's own start code: decode it again.
  TOffsetTable offsets;
  const int32_t size = GetStartCodeSize(trampoline, MinStartCode, &offsets);
  uint8_t code[MaxStartCode];
  CopyStartCode(code, target, trampoline, size, offsets);
  uint32_t written = 0;
  WriteCodeMemory(target, code, size, written);
}

} // namespace Quillmend
