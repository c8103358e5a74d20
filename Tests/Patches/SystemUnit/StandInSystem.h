// The stand-in run-time (rtl150.bpl) and the string-table modules in the
// test process, and the system-unit patches installed as the library's
// unit initializations install them.
#pragma once

#include <windows.h>

#include <string>

#include "rtl150/SystemUnitDriver.h"

namespace SystemTest {

// rtl150.bpl from <build>/host, or from <build>/host-variants/<variant> when
// that directory has a copy; loaded once per process.
HMODULE LoadRuntime(const std::string& variant = "");
HMODULE Runtime();

// A string-table module from <build>/host-strings.
HMODULE LoadStringModule(const std::wstring& file);
// Tells the run-time's unload procedures, then frees the module, as the
// host's package unloading does.
void UnloadStringModule(HMODULE module);

// Processor detection and move selection (no patch of their own).
void InitializeFastMove();
// The system-unit patches' unit initializations, with this value of
// "Quillmend.DisabledPatches".
void InstallPatches(const std::wstring& disabled = L"");
// The same under the "Quillmend.DisabledPatches" set now.
void RunInstallation();

std::wstring Status(const std::wstring& patch);
std::wstring Reason(const std::wstring& patch);

// A host string's text, and its release through the run-time.
std::wstring Text(const wchar_t* hostString);
void Release(wchar_t*& hostString);
// A new host string (reference count 1); nil for "".
wchar_t* NewString(const std::wstring& text);
// Blocks the run-time's memory manager handed out so far.
long Allocations();

template <class T>
T RuntimeExport(const char* name) {
  return SystemUnitDriver::Bind<T>(Runtime(), name);
}

}  // namespace SystemTest
