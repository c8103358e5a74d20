// The exported callers of the kernel's C run-time routines
// (DebuggerKernelCode.S) and the kernel's site table.
#include <windows.h>

#include <type_traits>

#include "DebuggerKernelDriver.h"

using namespace DebuggerKernelDriver;

extern "C" {

void* __cdecl KernelMemcpy(void* dst, const void* src, size_t n) asm("_dbk_memcpy");
void* __cdecl KernelMemmove(void* dst, const void* src, size_t n) asm("_dbk_memmove");
void* __cdecl KernelMemset(void* dst, int c, size_t n) asm("_dbk_memset");
void* __cdecl KernelMemchr(const void* s, int c, size_t n) asm("_dbk_memchr");
int __cdecl KernelStrICmp(const char* a, const char* b) asm("_dbk_stricmp");

void* __stdcall DbkMemcpy(void* dst, const void* src, size_t n) { return KernelMemcpy(dst, src, n); }
void* __stdcall DbkMemmove(void* dst, const void* src, size_t n) { return KernelMemmove(dst, src, n); }
void* __stdcall DbkMemset(void* dst, int c, size_t n) { return KernelMemset(dst, c, n); }
void* __stdcall DbkMemchr(const void* s, int c, size_t n) { return KernelMemchr(s, c, n); }
int __stdcall DbkStrICmp(const char* a, const char* b) { return KernelStrICmp(a, b); }

void* __stdcall DbkPatternSite(const char* site) {
  const QmHost::SearchedSite* found = QmHost::FindSearchedSite(site);
  return found ? found->Address : nullptr;
}

const QmHost::SearchedSite* __stdcall DbkPatternSites(int* count) { return QmHost::SearchedSites(count); }

}  // extern "C"

static_assert(std::is_same_v<decltype(&DbkMemcpy), CopyFn> && std::is_same_v<decltype(&DbkMemmove), CopyFn> &&
                  std::is_same_v<decltype(&DbkMemset), FillFn> && std::is_same_v<decltype(&DbkMemchr), FindFn> &&
                  std::is_same_v<decltype(&DbkStrICmp), CompareFn> &&
                  std::is_same_v<decltype(&DbkPatternSite), PatternSiteFn> &&
                  std::is_same_v<decltype(&DbkPatternSites), PatternSitesFn>,
              "the callers have the driver's types");
