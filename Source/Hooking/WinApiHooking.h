// Hooking a Win32 function at its entry, cooperating with the hot-patch
// prologue (8B FF) and with hot-patch hooks already in place.
#pragma once

#include <cstdint>

namespace Quillmend {

#pragma pack(push, 1)
struct TWinApiHookInfo {
  uint8_t* WinApiProc;  // entry after GetActualAddr
  uint8_t Mode;         // 0 none, 1 hot-patch prologue, 2 re-targeted hot-patch jump, 3 trampoline
  union {
    uint8_t Data[7];    // modes 1 and 2: bytes saved from entry - 5
    struct {
      uint8_t Pad[3];
      void* OrgCall;    // mode 3: original-call entry (last 4 bytes of Data)
    };
  };
};
#pragma pack(pop)
static_assert(sizeof(TWinApiHookInfo) == 12, "TWinApiHookInfo layout");

// How a hook is laid over a Win32 entry (after GetActualAddr): 1 when it
// starts with the hot-patch no-op (8B FF) behind five filler bytes (a jump
// goes into the filler, the entry's no-op becomes a short jump back to it);
// 2 when someone hot-patched it already (their jump is taken over); 3
// otherwise (a jump at the entry and an original-call trampoline). Reads only.
uint8_t WinApiHookMode(const uint8_t* entry);

// Hooks the entry as WinApiHookMode says and returns how to call the function
// as it was: the entry past its no-op (1), the previous hook (2), or a
// trampoline (3); null for a null argument. `info` records what to undo.
// Raises the system error when a write is refused.
void* HookWinApiProc(void* winApiProc, void* newProc, TWinApiHookInfo& info);
// Puts back what HookWinApiProc wrote; false when `info` holds no hook or
// the write is refused.
bool UnhookWinApiProc(TWinApiHookInfo& info);

} // namespace Quillmend
