// The compiler lock of the Delphi personality (delphicoreide150.bpl), driver
// interface, declared once: "Lock", "UnLock", MainThreadRequest and the
// driver's switches.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"

namespace CompilerLockDriver {

namespace Export {
constexpr const char* Lock = "Lock";
constexpr const char* UnLock = "UnLock";
constexpr const char* MainThreadRequest = "@Delphicoreide@MainThreadRequest$qqrv";
constexpr const char* RaiseOnNextLock = "DelphiCoreLockRaiseNext";
constexpr const char* LockState = "DelphiCoreLockState";
constexpr const char* SetMainThreadRequest = "DelphiCoreSetMainThreadRequest";
} // namespace Export

// procedure Lock (no arguments): takes the compiler lock, waiting in slices
// of 500 ms; between slices the main thread runs pending synchronisations
// and asks the parser to yield (MainThreadRequest). Recursive per thread.
using LockFn = void(QM_HOST_REGISTER*)();
// function UnLock: Integer — 1 when the calling thread held the lock (one
// level released), else 0. Its entry is a call giving the thread id.
using UnLockFn = int32_t(QM_HOST_REGISTER*)();
// function MainThreadRequest: Boolean (AL) — nonzero while the main thread
// waits for the lock (or the driver says so).
using MainThreadRequestFn = uint8_t(QM_HOST_REGISTER*)();
// The next Lock raises a host exception ("Compiler lock not available")
// instead of waiting.
using RaiseOnNextLockFn = void(__stdcall*)();
// The thread holding the lock (0: none) and its levels.
using LockStateFn = uint32_t(__stdcall*)(int32_t* levels);
using SetMainThreadRequestFn = void(__stdcall*)(int32_t value);

} // namespace CompilerLockDriver
