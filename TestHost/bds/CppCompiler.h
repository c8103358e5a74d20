// Access to bccide.dll's CppLoadCompiler for start-up and workloads.
#pragma once

#include <windows.h>

namespace QmHost {

// bccide.dll from the host directory, loaded on first use (null on failure).
HMODULE LoadBccIde();

// Calls CppLoadCompiler(action, flag) in an exception guard and journals
// "CPP-LOAD <action> <flag> -> <result>" (or EXCEPTION and "-> exception").
// Returns false if bccide.dll or the export is missing or the call raised.
bool CallCppLoadCompiler(int action, int flag, int* result = nullptr);

} // namespace QmHost
