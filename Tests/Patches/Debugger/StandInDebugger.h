// The stand-in debugger kernel and the core package's event log in the
// test process, and the debugger patches installed as the library installs
// them.
#pragma once

#include <windows.h>

#include <string>

#include "bordbk150N/DebuggerKernelDriver.h"
#include "coreide150/CoreIdeDriver.h"

namespace DebuggerTest {

// bordbk150N.dll from <build>/host or <build>/host-variants/<variant>.
HMODULE LoadKernel(const std::string& variant = "");
const DebuggerKernelDriver::Driver& Kernel();

// rtl150.bpl and coreide150.bpl (from <build>/host-variants/<variant> where
// it has a copy), and the event log's driver.
void LoadCoreIde(const std::string& variant = "");
const CoreIdeDriver::DebuggerLog& Log();
CoreIdeDriver::LogCounters Counters();
// Runs this thread's message loop for `ms` milliseconds.
void PumpMessages(double ms);

// The fast move selected, then the debugger's patches at their moments.
void InstallPatches(const std::wstring& disabled = L"");
// The same under the "Quillmend.DisabledPatches" set now.
void RunInstallation();

std::wstring Status(const std::wstring& patch);
std::wstring Reason(const std::wstring& patch);

}  // namespace DebuggerTest
