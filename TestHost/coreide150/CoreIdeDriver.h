// The stand-in core package's driver interface, declared once for bds.exe,
// the tests and the benchmarks: export names and function types; the module
// checks its definitions against them.
#pragma once

#include <windows.h>

#include "Common/HostLayout.h"

namespace CoreIdeDriver {

namespace Export {
constexpr const char* ExtractModuleName = "@Codemgr@ExtractModuleName$qqrx20System@UnicodeString";
}  // namespace Export

// function ExtractModuleName(const S: string): string — EAX = S, EDX = result variable.
using ExtractModuleNameFn = void(QM_HOST_REGISTER*)(const wchar_t* s, wchar_t** result);

inline ExtractModuleNameFn BindExtractModuleName(HMODULE coreIde) {
  return reinterpret_cast<ExtractModuleNameFn>(
      reinterpret_cast<void*>(coreIde ? GetProcAddress(coreIde, Export::ExtractModuleName) : nullptr));
}

}  // namespace CoreIdeDriver
