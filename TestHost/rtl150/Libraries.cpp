// SafeLoadLibrary: a library loaded with the process's error mode set to
// the caller's for the time of the load (0x8000, SEM_NOOPENFILEERRORBOX,
// keeps the system's "file not found" box away), then put back.
#include <windows.h>

#include <type_traits>

#include "ComponentsDriver.h"
#include "RtlInternal.h"

namespace {

volatile LONG g_calls = 0;
volatile LONG g_lastErrorMode = 0;

} // namespace

extern "C" {

HMODULE QM_HOST_REGISTER RtlSafeLoadLibrary(const wchar_t* fileName, uint32_t errorMode) QM_HOST_SYMBOL(rtl_SafeLoadLibrary);
HMODULE QM_HOST_REGISTER RtlSafeLoadLibrary(const wchar_t* fileName, uint32_t errorMode) {
  InterlockedIncrement(&g_calls);
  InterlockedExchange(&g_lastErrorMode, LONG(errorMode));
  const UINT old = SetErrorMode(errorMode);
  HMODULE module = fileName ? LoadLibraryW(fileName) : nullptr;
  SetErrorMode(old);
  return module;
}

int32_t __stdcall RtlSafeLoadLibraryCalls(uint32_t* lastErrorMode) {
  if (lastErrorMode) *lastErrorMode = uint32_t(g_lastErrorMode);
  return g_calls;
}

} // extern "C"

static_assert(std::is_same_v<decltype(&RtlSafeLoadLibrary), ComponentsDriver::SafeLoadLibraryFn> &&
                  std::is_same_v<decltype(&RtlSafeLoadLibraryCalls), ComponentsDriver::SafeLoadLibraryCallsFn>,
              "exports differ from ComponentsDriver.h");
