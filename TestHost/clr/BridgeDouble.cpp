// The managed bridge's native double: BeginInteropCache and EndInteropCache
// keep a depth per thread (and totals), so a test sees whether a call ran
// inside the cache and whether begins and ends balance on every thread;
// BeginInteropCache raises the managed exception code on request, before
// anything began; the process refuses to load it on request.
#include <windows.h>

#include <map>
#include <type_traits>

#include "clr/BridgeDoubleDriver.h"

namespace {

CRITICAL_SECTION g_lock;
std::map<DWORD, int32_t>* g_depths = nullptr;
volatile LONG g_begins = 0, g_ends = 0, g_raises = 0;

void Add(int32_t delta) {
  EnterCriticalSection(&g_lock);
  (*g_depths)[GetCurrentThreadId()] += delta;
  LeaveCriticalSection(&g_lock);
}

bool TakeRaise() {
  LONG armed = g_raises;
  while (armed > 0) {
    const LONG seen = InterlockedCompareExchange(&g_raises, armed - 1, armed);
    if (seen == armed) return true;
    armed = seen;
  }
  return false;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    // A bridge the process cannot load (as a managed one without a runtime).
    if (GetEnvironmentVariableW(BridgeDoubleDriver::RefuseVariable, nullptr, 0) > 0) return FALSE;
    InitializeCriticalSection(&g_lock);
    g_depths = new std::map<DWORD, int32_t>();
  }
  return TRUE;
}

extern "C" {

void __stdcall BeginInteropCache() {
  if (TakeRaise()) RaiseException(BridgeDoubleDriver::ManagedExceptionCode, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  InterlockedIncrement(&g_begins);
  Add(1);
}

void __stdcall EndInteropCache() {
  InterlockedIncrement(&g_ends);
  Add(-1);
}

int32_t __stdcall QuillmendClrDepth() {
  EnterCriticalSection(&g_lock);
  const int32_t depth = (*g_depths)[GetCurrentThreadId()];
  LeaveCriticalSection(&g_lock);
  return depth;
}

void __stdcall QuillmendClrCounts(int32_t* begins, int32_t* ends, int32_t* unbalancedThreads) {
  EnterCriticalSection(&g_lock);
  int32_t unbalanced = 0;
  for (const auto& thread : *g_depths) unbalanced += thread.second != 0;
  LeaveCriticalSection(&g_lock);
  *begins = g_begins;
  *ends = g_ends;
  *unbalancedThreads = unbalanced;
}

void __stdcall QuillmendClrRaise(int32_t count) { InterlockedExchange(&g_raises, count); }

}  // extern "C"

namespace D = BridgeDoubleDriver;
static_assert(std::is_same_v<decltype(&BeginInteropCache), D::VoidFn> &&
                  std::is_same_v<decltype(&EndInteropCache), D::VoidFn> &&
                  std::is_same_v<decltype(&QuillmendClrDepth), D::DepthFn> &&
                  std::is_same_v<decltype(&QuillmendClrCounts), D::CountsFn> &&
                  std::is_same_v<decltype(&QuillmendClrRaise), D::RaiseFn>,
              "exports differ from BridgeDoubleDriver.h");
