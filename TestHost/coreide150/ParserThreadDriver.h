// The core package's background parser thread, driver interface (declared
// once): the exports of unit Parserthread and the driver that gives the
// thread work.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"

namespace ParserThreadDriver {

namespace Export {
// DATA: the variable holding the parse-thread object (nil until started).
constexpr const char* ParseThread = "@Parserthread@ParseThread";
// Methods (register convention, EAX = the parse-thread object).
constexpr const char* Lock = "@Parserthread@TParseThread@Lock$qqrv";
constexpr const char* CancelAndLock = "@Parserthread@TParseThread@CancelAndLock$qqrv";
constexpr const char* Unlock = "@Parserthread@TParseThread@Unlock$qqrv";
// The driver (stdcall).
constexpr const char* Start = "CoreIdeParserStart";
constexpr const char* Post = "CoreIdeParserPost";
constexpr const char* WaitIdle = "CoreIdeParserWaitIdle";
constexpr const char* LockTimeouts = "CoreIdeParserLockTimeouts";
constexpr const char* SetLockWait = "CoreIdeParserSetLockWait";
constexpr const char* Canceled = "CoreIdeParserCanceled";
} // namespace Export

// The parse-thread object: its thread id at 0x08, the lock object at 0x40
// (a host object: virtual method 0 Acquire, 1 Release, its mutex handle at
// +4), the lock count at 0x50.
namespace Layout {
constexpr int ThreadId = 0x08;
constexpr int LockObject = 0x40;
constexpr int LockCount = 0x50;
constexpr int LockHandle = 0x04;  // in the lock object
} // namespace Layout

using MethodFn = void(QM_HOST_REGISTER*)(void* parseThread);
// Work for the parser: called on its thread while it holds its lock (taken
// and released through the exported Lock and Unlock).
using WorkFn = void(__stdcall*)(void* data);
// Starts the thread (once); the parse-thread object.
using StartFn = void*(__stdcall*)();
using PostFn = void(__stdcall*)(WorkFn work, void* data);
// Waits until every posted work item ran; false after `milliseconds`.
using WaitIdleFn = int32_t(__stdcall*)(uint32_t milliseconds);
// How often acquiring the lock gave up after its wait (default 10 s).
using LockTimeoutsFn = uint32_t(__stdcall*)();
using SetLockWaitFn = void(__stdcall*)(uint32_t milliseconds);
// Whether CancelAndLock asked the parser to stop (cleared by Unlock).
using CanceledFn = int32_t(__stdcall*)();

} // namespace ParserThreadDriver
