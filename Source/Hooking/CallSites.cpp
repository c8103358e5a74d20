#include "Hooking/CallSites.h"

#include "Hooking/CodeRedirect.h"
#include "Hooking/EngineError.h"
#include "Hooking/Emit.h"
#include "Hooking/StartCodeSize.h"

#include <cstdint>
#include <cstring>

namespace Quillmend {

namespace {

// Writes one relative call or jump at `site`, followed by `nopFill` no-ops.
bool WriteRelInstruction(void* site, uint8_t opcode, void* target, uint32_t nopFill) {
  uint8_t code[Rel32InstructionSize + 16];
  if (nopFill > sizeof code - Rel32InstructionSize) return false;
  uint8_t* end = opcode == OpCallRel32 ? EmitCallRel32(code, site, target) : EmitJmpRel32(code, site, target);
  end = EmitNops(end, nopFill);
  const auto size = static_cast<uint32_t>(end - code);
  uint32_t written = 0;
  return WriteCodeMemory(site, code, size, written) && written == size;
}

}  // namespace

void* GetCallTargetAddress(const void* site) {
  if (site == nullptr) return nullptr;
  const auto* p = static_cast<const uint8_t*>(site);
  if (p[0] != OpCallRel32 && p[0] != OpJmpRel32) return nullptr;
  return const_cast<uint8_t*>(p) + Rel32InstructionSize + ReadInt32(p + 1);
}

void* ReplaceRelCallOffset(void* site, void* newTarget) {
  void* oldTarget = GetCallTargetAddress(site);
  if (oldTarget == nullptr || oldTarget == newTarget) return oldTarget;
  const int32_t displacement = Rel32Displacement(site, newTarget);
  uint32_t written = 0;
  if (!WriteCodeMemory(static_cast<uint8_t*>(site) + 1, &displacement, sizeof displacement, written) ||
      written != sizeof displacement)
    return nullptr;
  return oldTarget;
}

bool ReplaceOpCodeByRelCall(void* site, void* newTarget) {
  return site != nullptr && WriteRelInstruction(site, OpCallRel32, newTarget, 0);
}

bool ReplaceOpCodeByRelJump(void* site, void* newTarget) {
  return site != nullptr && WriteRelInstruction(site, OpJmpRel32, newTarget, 0);
}

bool ReplaceInstructionByRelCall(void* site, void* newTarget) {
  if (site == nullptr) return false;
  // Whole instructions only, so no half instruction is left behind the call.
  const int32_t size = GetStartCodeSize(site, Rel32InstructionSize, nullptr);
  if (!WriteRelInstruction(site, OpCallRel32, newTarget, size - Rel32InstructionSize)) RaiseLastOSError();
  return true;
}

} // namespace Quillmend
