// bccide.dll's interface for bds.exe and the tests: what the IDE calls.
#pragma once

#include <windows.h>

namespace BccIdeDriver {

namespace Export {
constexpr const char* CppLoadCompiler = "CppLoadCompiler";
} // namespace Export

// Action 1 loads comp32x.dll, 0 unloads it, others come back unchanged.
using CppLoadCompilerFn = int(__stdcall*)(int action, BOOL flag);

} // namespace BccIdeDriver
