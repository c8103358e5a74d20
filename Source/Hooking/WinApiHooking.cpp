#include "Hooking/WinApiHooking.h"

#include "Hooking/CallSites.h"
#include "Hooking/CodeRedirect.h"
#include "Hooking/EngineError.h"
#include "Hooking/Emit.h"
#include "Hooking/MemoryRegions.h"
#include "Hooking/OrgCall.h"

#include <cstring>

namespace Quillmend {

namespace {

enum : uint8_t { ModeNone = 0, ModeHotPatch = 1, ModeRetargeted = 2, ModeTrampoline = 3 };

constexpr int PadSize = 5;         // room for a long jump in front of a hot-patchable entry
constexpr int HotPatchSize = 7;    // the long jump plus the entry's 2-byte no-op
constexpr uint8_t MovEdiEdi[2] = {0x8B, 0xFF};
constexpr uint8_t ShortJumpBack[2] = {0xEB, 0xF9};  // jmp entry - 5

bool StartsWith(const uint8_t* p, const uint8_t (&bytes)[2]) { return p[0] == bytes[0] && p[1] == bytes[1]; }

// The bytes in front of a hot-patchable function are filler that the
// compiler left for exactly this purpose; anything else belongs to the code
// before and must not be overwritten.
bool HasFillerBefore(const uint8_t* entry) {
  for (int i = 1; i <= PadSize; ++i)
    if (entry[-i] != OpNop && entry[-i] != OpInt3) return false;
  return true;
}

bool WriteAll(void* dest, const void* source, uint32_t size) {
  uint32_t written = 0;
  return WriteCodeMemory(dest, source, size, written) && written == size;
}

}  // namespace

uint8_t WinApiHookMode(const uint8_t* entry) {
  const bool roomBefore = IsReadableMemory(entry - PadSize, PadSize) && IsReadableMemory(entry, 2);
  if (roomBefore && StartsWith(entry, MovEdiEdi) && HasFillerBefore(entry)) return ModeHotPatch;
  if (roomBefore && StartsWith(entry, ShortJumpBack) && entry[-PadSize] == OpJmpRel32) return ModeRetargeted;
  return ModeTrampoline;
}

void* HookWinApiProc(void* winApiProc, void* newProc, TWinApiHookInfo& info) {
  std::memset(&info, 0, sizeof info);
  if (winApiProc == nullptr || newProc == nullptr) return nullptr;
  auto* p = static_cast<uint8_t*>(GetActualAddr(winApiProc));
  info.WinApiProc = p;
  // The two hot-patch forms use the five bytes in front of the entry.
  const uint8_t mode = WinApiHookMode(p);

  if (mode == ModeHotPatch) {
    info.Mode = ModeHotPatch;
    std::memcpy(info.Data, p - PadSize, HotPatchSize);
    uint8_t code[HotPatchSize];
    std::memcpy(EmitJmpRel32(code, p - PadSize, newProc), ShortJumpBack, sizeof ShortJumpBack);
    if (!WriteAll(p - PadSize, code, HotPatchSize)) RaiseLastOSError();
    return p + sizeof MovEdiEdi;  // past the no-op: the function as it was
  }

  if (mode == ModeRetargeted) {
    // Someone hot-patched it already: take over their jump and hand back
    // their hook, which the new hook calls to pass control on.
    info.Mode = ModeRetargeted;
    std::memcpy(info.Data, p - PadSize, PadSize);
    return ReplaceRelCallOffset(p - PadSize, newProc);
  }

  info.OrgCall = RedirectOrgCall(p, newProc);
  info.Mode = ModeTrampoline;
  return info.OrgCall;
}

bool UnhookWinApiProc(TWinApiHookInfo& info) {
  if (info.WinApiProc == nullptr) return false;
  switch (info.Mode) {
    case ModeHotPatch:
    case ModeRetargeted: {
      const uint32_t size = info.Mode == ModeHotPatch ? HotPatchSize : PadSize;
      return WriteAll(info.WinApiProc - PadSize, info.Data, size);
    }
    case ModeTrampoline:
      RestoreOrgCall(info.WinApiProc, info.OrgCall);
      return true;
    default:
      return false;
  }
}

} // namespace Quillmend
