// The compiler lock: one mutex guarding the compiler library against the
// IDE's main thread and its background parser compiling at once. Waiting
// for it on the main thread keeps the IDE alive: between slices pending
// synchronisations run, and the parser is asked to yield.
#include <windows.h>

#include <type_traits>

#include "Common/HostRtl.h"
#include "CompilerLockDriver.h"
#include "rtl150/RtlThreadsDriver.h"

namespace {

HANDLE CompilerMutex() {
  static HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
  return mutex;
}

volatile DWORD g_owner = 0;
volatile LONG g_levels = 0;
volatile LONG g_mainThreadRequest = 0;
volatile LONG g_raiseNext = 0;

bool OnMainThread() {
  HMODULE rtl = GetModuleHandleW(L"rtl150.bpl");
  auto* main = rtl ? reinterpret_cast<const DWORD*>(GetProcAddress(rtl, RtlThreadsDriver::Export::MainThreadId)) : nullptr;
  return main && *main == GetCurrentThreadId();
}

void CheckSynchronize() {
  HMODULE rtl = GetModuleHandleW(L"rtl150.bpl");
  if (auto check = rtl ? reinterpret_cast<RtlThreadsDriver::CheckSynchronizeFn>(reinterpret_cast<void*>(
                             GetProcAddress(rtl, RtlThreadsDriver::Export::CheckSynchronize)))
                       : nullptr)
    check(0);
}

[[noreturn]] void RaiseUnavailable() {
  const QmHost::HostRtl* rtl = QmHost::LoadedHostRtl();
  if (!rtl) RaiseException(0xE0000001, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  rtl->raiseExcept(rtl->NewException(L"Compiler lock not available"));
  __builtin_unreachable();
}

} // namespace

extern "C" {

DWORD QM_HOST_REGISTER HostCompilerLockThreadId() asm("HostCompilerLockThreadId");
DWORD QM_HOST_REGISTER HostCompilerLockThreadId() { return GetCurrentThreadId(); }

void QM_HOST_REGISTER HostCompilerLock(DWORD slice) asm("HostCompilerLock");
void QM_HOST_REGISTER HostCompilerLock(DWORD slice) {
  const DWORD self = GetCurrentThreadId();
  if (g_owner == self) {
    InterlockedIncrement(&g_levels);
    return;
  }
  if (InterlockedExchange(&g_raiseNext, 0)) RaiseUnavailable();
  const bool main = OnMainThread();
  if (main) InterlockedExchange(&g_mainThreadRequest, 1);
  for (;;) {
    const DWORD waited = WaitForSingleObject(CompilerMutex(), slice);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) break;
    if (main) CheckSynchronize();
  }
  if (main) InterlockedExchange(&g_mainThreadRequest, 0);
  g_owner = self;
  g_levels = 1;
}

int32_t QM_HOST_REGISTER HostCompilerUnLock(DWORD thread) asm("HostCompilerUnLock");
int32_t QM_HOST_REGISTER HostCompilerUnLock(DWORD thread) {
  if (g_owner != thread || g_levels <= 0) return 0;
  if (InterlockedDecrement(&g_levels) == 0) {
    g_owner = 0;
    ReleaseMutex(CompilerMutex());
  }
  return 1;
}

uint8_t QM_HOST_REGISTER delphicore_MainThreadRequest() QM_HOST_SYMBOL(delphicore_MainThreadRequest);
uint8_t QM_HOST_REGISTER delphicore_MainThreadRequest() { return g_mainThreadRequest != 0; }

void __stdcall DelphiCoreLockRaiseNext() { InterlockedExchange(&g_raiseNext, 1); }

uint32_t __stdcall DelphiCoreLockState(int32_t* levels) {
  if (levels) *levels = g_levels;
  return g_owner;
}

void __stdcall DelphiCoreSetMainThreadRequest(int32_t value) { InterlockedExchange(&g_mainThreadRequest, value); }

} // extern "C"

namespace {
namespace Declared = CompilerLockDriver;
static_assert(std::is_same_v<decltype(&delphicore_MainThreadRequest), Declared::MainThreadRequestFn> &&
                  std::is_same_v<decltype(&DelphiCoreLockRaiseNext), Declared::RaiseOnNextLockFn> &&
                  std::is_same_v<decltype(&DelphiCoreLockState), Declared::LockStateFn> &&
                  std::is_same_v<decltype(&DelphiCoreSetMainThreadRequest), Declared::SetMainThreadRequestFn>,
              "compiler lock exports differ from CompilerLockDriver.h");
} // namespace
