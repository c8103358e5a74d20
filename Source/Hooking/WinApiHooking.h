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

void* HookWinApiProc(void* winApiProc, void* newProc, TWinApiHookInfo& info);
bool UnhookWinApiProc(TWinApiHookInfo& info);

} // namespace Quillmend
