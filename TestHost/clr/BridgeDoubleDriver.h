// The managed bridge's native double (TestHost/clr/BridgeDouble.cpp): the
// bridge's two exports and the tests' view of them.
#pragma once

#include <windows.h>

#include <cstdint>

namespace BridgeDoubleDriver {

// While this environment variable is set, loading the double fails.
constexpr const wchar_t* RefuseVariable = L"QM_CLR_DOUBLE_REFUSE";

// A managed exception leaving through an export, as the system sees it.
constexpr DWORD ManagedExceptionCode = 0xE0434352;

using VoidFn = void(__stdcall*)();
// The calling thread's depth (begins minus ends).
using DepthFn = int32_t(__stdcall*)();
// Begins and ends of every thread so far, and the threads whose depth is not 0 now.
using CountsFn = void(__stdcall*)(int32_t* begins, int32_t* ends, int32_t* unbalancedThreads);
// The next `count` BeginInteropCache calls raise instead of beginning.
using RaiseFn = void(__stdcall*)(int32_t count);

}  // namespace BridgeDoubleDriver
