// The stand-in debugger kernel and the core package's event log in the
// test process, and the debugger patches installed as the library installs
// them.
#pragma once

#include <windows.h>

#include <string>

#include "bordbk150N/DebuggerKernelDriver.h"
#include "coreide150/CoreIdeDriver.h"
#include "dbkdebugide150/DbkDebugIdeDriver.h"
#include "dbkdebugproide150/DbkDebugProIdeDriver.h"

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

// dbkdebugide150.bpl and dbkdebugproide150.bpl (from the variant's directory
// where it has a copy) and their drivers; the kernel must be loaded first.
void LoadDebuggerPackages(const std::string& variant = "");
const DbkDebugIdeDriver::Driver& Ide();
const DbkDebugProIdeDriver::Driver& Pro();
// <build>/host/debuggee.exe
std::wstring DebuggeePath();
// Starts the debuggee through TDebugKernel.CreateProcess with `arguments`
// after its output file's name, waits for it and answers what it received
// after the program's quoted name and the output file's ("" when it did
// not start; `started` tells).
std::wstring RunDebuggee(const std::wstring& program, const std::wstring& arguments, bool* started = nullptr);

// The fast move selected, then the debugger's patches at their moments.
void InstallPatches(const std::wstring& disabled = L"");
// The same under the "Quillmend.DisabledPatches" set now.
void RunInstallation();

std::wstring Status(const std::wstring& patch);
std::wstring Reason(const std::wstring& patch);

}  // namespace DebuggerTest
