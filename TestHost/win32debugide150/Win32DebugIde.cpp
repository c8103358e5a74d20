// Stand-in win32debugide150.bpl: TNativeProcess.GetDebugHook finds the
// address of System's debug hook in the debuggee's symbols through the C++
// compiler's debug-symbol lookup: "@System@DebugHook", then
// "@System@_DebugHook"; 0 when the compiler is not loaded or neither is found.
#include <windows.h>

#include <cstdint>
#include <cstring>

#include "Common/HostRtl.h"
#include "comp32x/Comp32xDriver.h"

namespace {

uint32_t g_lookups = 0;
bool g_raise = false;

// The lookup through the export, so a redirected lookup is what runs.
int32_t LookupSymbol(const char* name) {
  HMODULE compiler = GetModuleHandleW(L"comp32x.dll");
  auto lookup = compiler ? reinterpret_cast<int32_t(__cdecl*)(const Comp32xDriver::TNameRecord*, int32_t)>(
                               reinterpret_cast<void*>(GetProcAddress(compiler, "Comp32xSymbolLookup")))
                         : nullptr;
  if (!lookup) return 0;
  ++g_lookups;
  Comp32xDriver::TNameRecord record = {name, uint32_t(std::strlen(name))};
  return lookup(&record, 0);
}

// A host exception, as the host's debugger raises one when the debuggee's
// memory cannot be read; a bare one without the host run-time.
[[noreturn]] void RaiseDebuggerError() {
  ULONG_PTR params[QmHost::kHostExceptionParamCount] = {};
  if (const QmHost::HostRtl* rtl = QmHost::LoadedHostRtl())
    rtl->raiseExcept(rtl->NewException(L"Cannot read the process's memory"));
  RaiseException(QmHost::kHostExceptionCode, EXCEPTION_NONCONTINUABLE, QmHost::kHostExceptionParamCount, params);
  for (;;) {
  }
}

}  // namespace

extern "C" {

void* Win32DebugFindDebugHook(void* self) {
  int32_t address = LookupSymbol("@System@DebugHook");
  if (!address) address = LookupSymbol("@System@_DebugHook");
  if (g_raise) {
    g_raise = false;
    RaiseDebuggerError();
  }
  return reinterpret_cast<void*>(intptr_t(address));
}

uint32_t __stdcall Win32DebugLookupCount() { return g_lookups; }

// The next GetDebugHook raises a host exception after its lookups.
void __stdcall Win32DebugRaiseInGetDebugHook(int32_t raise) { g_raise = raise != 0; }

void __stdcall Initialize() {}
void __stdcall Finalize() {}

}  // extern "C"
