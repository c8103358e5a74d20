// The stand-in debugger kernel's driver interface, declared once for the
// tests and the benchmarks: export names and types. The kernel's C
// run-time routines are not exported (the pack finds them by their bytes);
// exported callers run them the way the kernel's own code does (cdecl).
#pragma once

#include <windows.h>

#include <cstddef>

#include "Common/SearchedSites.h"

namespace DebuggerKernelDriver {

namespace Export {
constexpr const char* SentHookProc = "SENTHOOKPROC";
constexpr const char* Memcpy = "DbkMemcpy";
constexpr const char* Memmove = "DbkMemmove";
constexpr const char* Memset = "DbkMemset";
constexpr const char* Memchr = "DbkMemchr";
constexpr const char* StrICmp = "DbkStrICmp";
constexpr const char* PatternSite = "DbkPatternSite";
constexpr const char* PatternSites = "DbkPatternSites";
constexpr const char* StartProcess = "DbkStartProcess";
constexpr const char* LastCommandLineLength = "DbkLastCommandLineLength";
}  // namespace Export

// Site names of the searched routines (DebuggerKernelCode.S).
namespace Site {
constexpr const char* Memcpy = "Memcpy";
constexpr const char* StrICmp = "StrICmp";
constexpr const char* Memchr = "Memchr";
constexpr const char* Memmove = "Memmove";
constexpr const char* Memset = "Memset";
}  // namespace Site

using SentHookProcFn = LRESULT(__stdcall*)(int code, WPARAM wParam, LPARAM lParam);
using CopyFn = void*(__stdcall*)(void* dst, const void* src, size_t n);
using FillFn = void*(__stdcall*)(void* dst, int c, size_t n);
using FindFn = void*(__stdcall*)(const void* s, int c, size_t n);
using CompareFn = int(__stdcall*)(const char* a, const char* b);
using PatternSiteFn = void*(__stdcall*)(const char* site);
using PatternSitesFn = const QmHost::SearchedSite*(__stdcall*)(int* count);
// Starts a debuggee: "<program>" <arguments> formatted by wsprintfA, then
// CreateProcessW with the flags (ProcessStart.cpp).
using StartProcessFn = BOOL(__stdcall*)(const wchar_t* program, const wchar_t* arguments, DWORD flags,
                                        PROCESS_INFORMATION* info);
using LastLengthFn = int(__stdcall*)();

struct Driver {
  CopyFn memcpy = nullptr, memmove = nullptr;
  FillFn memset = nullptr;
  FindFn memchr = nullptr;
  CompareFn stricmp = nullptr;
  PatternSiteFn patternSite = nullptr;
  PatternSitesFn patternSites = nullptr;
  StartProcessFn startProcess = nullptr;
  LastLengthFn lastCommandLineLength = nullptr;

  bool Bind(HMODULE kernel) {
    auto get = [kernel](const char* name) { return reinterpret_cast<void*>(GetProcAddress(kernel, name)); };
    memcpy = reinterpret_cast<CopyFn>(get(Export::Memcpy));
    memmove = reinterpret_cast<CopyFn>(get(Export::Memmove));
    memset = reinterpret_cast<FillFn>(get(Export::Memset));
    memchr = reinterpret_cast<FindFn>(get(Export::Memchr));
    stricmp = reinterpret_cast<CompareFn>(get(Export::StrICmp));
    patternSite = reinterpret_cast<PatternSiteFn>(get(Export::PatternSite));
    patternSites = reinterpret_cast<PatternSitesFn>(get(Export::PatternSites));
    startProcess = reinterpret_cast<StartProcessFn>(get(Export::StartProcess));
    lastCommandLineLength = reinterpret_cast<LastLengthFn>(get(Export::LastCommandLineLength));
    return memcpy && memmove && memset && memchr && stricmp && patternSite && patternSites && startProcess &&
           lastCommandLineLength;
  }
};

}  // namespace DebuggerKernelDriver
