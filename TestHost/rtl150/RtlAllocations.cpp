// The memory manager's accounting: how many allocations were
// made, how many blocks are live, and a test switch that makes a chosen
// allocation raise EOutOfMemory (the way the host reports an exhausted heap
// to code that handles exceptions).
#include <windows.h>

#include "RtlServices.h"

namespace {

volatile LONG g_allocations = 0;
volatile LONG g_liveBlocks = 0;
volatile LONG g_failCountdown = 0;  // 0: off; n: the n-th allocation from now raises

} // namespace

void QmRtl::NoteAllocation() {
  InterlockedIncrement(&g_allocations);
  if (g_failCountdown > 0 && InterlockedDecrement(&g_failCountdown) == 0) {
    // Disarmed first: the exception object itself is allocated.
    RaiseResFmt(rtl_EOutOfMemory_Class, SOutOfMemory);
  }
  InterlockedIncrement(&g_liveBlocks);
}

void QmRtl::NoteRelease() { InterlockedDecrement(&g_liveBlocks); }

extern "C" {

// Test and benchmark driver (stdcall): allocations made so far (GetMem and
// resizing ReallocMem), blocks live now, and the switch: FailAllocation(n)
// makes the n-th allocation from now raise EOutOfMemory (0 switches it off).
LONG __stdcall RtlAllocationCount() { return g_allocations; }
LONG __stdcall RtlLiveBlockCount() { return g_liveBlocks; }
void __stdcall RtlFailAllocation(LONG n) { InterlockedExchange(&g_failCountdown, n > 0 ? n : 0); }

} // extern "C"
