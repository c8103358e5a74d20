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

bool WriteCodeMemory(void* dest, const void* source, uint32_t size, uint32_t& written);
void* GetActualAddr(void* proc);

void CodeRedirect(void* proc, void* newProc, TRedirectCode& data);
TRedirectCode CodeRedirect(void* proc, void* newProc);
void CodeRestore(TRedirectCode& data);
void UnhookFunction(TRedirectCode& data);
void RehookFunction(void* newProc, TRedirectCode& data);

void HookFunction(HMODULE module, const wchar_t* procName, void* newProc, TRedirectCode& data);
void HookFunction(const wchar_t* moduleName, const wchar_t* procName, void* newProc, TRedirectCode& data);

bool InjectCode(void* dest, const void* source, uint32_t size);

} // namespace Quillmend
