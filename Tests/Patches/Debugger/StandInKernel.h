// The stand-in debugger kernel in the test process, and the debugger
// patches installed as the library installs them.
#pragma once

#include <windows.h>

#include <string>

#include "bordbk150N/DebuggerKernelDriver.h"

namespace DebuggerTest {

// bordbk150N.dll from <build>/host or <build>/host-variants/<variant>.
HMODULE LoadKernel(const std::string& variant = "");
const DebuggerKernelDriver::Driver& Kernel();

// The fast move selected, then the debugger's patches at their moments.
void InstallPatches(const std::wstring& disabled = L"");
// The same under the "Quillmend.DisabledPatches" set now.
void RunInstallation();

std::wstring Status(const std::wstring& patch);
std::wstring Reason(const std::wstring& patch);

}  // namespace DebuggerTest
