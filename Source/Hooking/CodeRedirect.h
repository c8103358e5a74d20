// Redirecting a function start to a replacement with a 5-byte relative jump,
// and putting the saved bytes back.
#pragma once

#include <cstdint>
#include <windows.h>

namespace Quillmend {

#pragma pack(push, 1)
// A 5-byte relative jump: 0xE9 and target - (address of the jump + 5).
struct TXRedirCode {
  uint8_t Jump;
  int32_t Offset;
};

// A patch's record of one redirected function. Zero it before first use.
struct TRedirectCode {
  void* RealProc;  // address actually overwritten (after GetActualAddr), or null
  int32_t Count;   // outstanding redirections on this record
  union {
    TXRedirCode Code;  // first five saved bytes
    int64_t Code2;     // all eight saved bytes
  };
};
#pragma pack(pop)
static_assert(sizeof(TXRedirCode) == 5, "TXRedirCode is a packed 5-byte jump");
static_assert(sizeof(TRedirectCode) == 16, "TRedirectCode: RealProc, Count, 8 saved bytes");

// WriteProcessMemory on the current process, then the instruction cache
// flushed; `written` gets the count; false when the write is refused.
bool WriteCodeMemory(void* dest, const void* source, uint32_t size, uint32_t& written);
// The code a routine address really starts at: an import thunk (FF 25) is
// followed, and off the NT family a push/jmp export stub. Null stays null.
void* GetActualAddr(void* proc);

// Writes a 5-byte jump to `newProc` over the routine's start (after
// GetActualAddr) when `data` holds no redirection yet, saving 8 bytes in
// `data`; counts the redirection either way. A null proc or a refused
// protection change leaves data.RealProc null (nothing written).
void CodeRedirect(void* proc, void* newProc, TRedirectCode& data);
TRedirectCode CodeRedirect(void* proc, void* newProc);
// Counts one redirection off; the last one writes the saved five bytes back.
void CodeRestore(TRedirectCode& data);
// CodeRestore and CodeRedirect under the names hooks use.
void UnhookFunction(TRedirectCode& data);
void RehookFunction(void* newProc, TRedirectCode& data);

// CodeRedirect of an export found by name (GetProcAddress); a missing module
// or export leaves data.RealProc null.
void HookFunction(HMODULE module, const wchar_t* procName, void* newProc, TRedirectCode& data);
void HookFunction(const wchar_t* moduleName, const wchar_t* procName, void* newProc, TRedirectCode& data);

// Copies `size` bytes over the code at `dest` (after GetActualAddr); false
// for null arguments or a write not made in full; true for nothing to copy.
bool InjectCode(void* dest, const void* source, uint32_t size);

} // namespace Quillmend
