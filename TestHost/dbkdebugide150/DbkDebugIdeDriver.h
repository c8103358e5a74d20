// The stand-in dbkdebugide150.bpl's driver interface, declared once for
// bds.exe, the tests and the benchmarks.
#pragma once

#include <windows.h>

namespace DbkDebugIdeDriver {

namespace Export {
constexpr const char* CreateProcess =
    "@Debug@TDebugKernel@CreateProcess$qqrx47System@%DelphiInterface$t19Dbk@IDbkProcClntOps%uix20System@"
    "UnicodeString20System@UnicodeStringt3p15Dbk@DbkEnvBlockt3t4ui";
constexpr const char* StartDebuggee = "DbgIdeStartDebuggee";
constexpr const char* RunProcess = "DbgIdeRunProcess";
}  // namespace Export

// What TDebugKernel keeps of a start (test host layout).
struct TDebugKernel {
  PROCESS_INFORMATION Process;  // handles the caller closes
  DWORD LastError;              // GetLastError after a failed start
};

// The debuggee started the way the IDE starts it: TDebugKernel.CreateProcess
// called through its export the host's way (a stack imbalance or a
// clobbered register fails the start with ERROR_INVALID_FUNCTION); the
// program name is the first string argument. True when it started.
using StartDebuggeeFn = BOOL(__stdcall*)(TDebugKernel* kernel, const wchar_t* program, const wchar_t* arguments,
                                         DWORD flags);
// A program run without debugging: CreateProcessW through the package's import.
using RunProcessFn = BOOL(__stdcall*)(const wchar_t* commandLine, DWORD flags, PROCESS_INFORMATION* info);

struct Driver {
  StartDebuggeeFn startDebuggee = nullptr;
  RunProcessFn runProcess = nullptr;

  bool Bind(HMODULE module) {
    startDebuggee = reinterpret_cast<StartDebuggeeFn>(reinterpret_cast<void*>(GetProcAddress(module, Export::StartDebuggee)));
    runProcess = reinterpret_cast<RunProcessFn>(reinterpret_cast<void*>(GetProcAddress(module, Export::RunProcess)));
    return startDebuggee && runProcess;
  }
};

}  // namespace DbkDebugIdeDriver
