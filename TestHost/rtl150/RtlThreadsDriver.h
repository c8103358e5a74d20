// The run-time's thread synchronisation as the stand-ins and the tests reach
// it: the main thread's id, the synchronisation event, CheckSynchronize and
// Synchronize (export names and types, declared once).
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"

namespace RtlThreadsDriver {

namespace Export {
// DATA: the id of the thread that loaded the run-time (the IDE's main thread).
constexpr const char* MainThreadId = "@System@MainThreadID";
// DATA: the handle of the event a thread sets when it queues a synchronisation.
constexpr const char* SyncEvent = "@Classes@SyncEvent";
constexpr const char* CheckSynchronize = "@Classes@CheckSynchronize$qqri";
constexpr const char* Synchronize = "@Classes@TThread@Synchronize$qqrp15Classes@TThreadynpqqrv$v";
constexpr const char* SynchronizeTimeouts = "RtlSynchronizeTimeouts";
} // namespace Export

// A method pointer: Code(EAX = Data), the host's register convention.
struct TMethod {
  void(QM_HOST_REGISTER* Code)(void* data);
  void* Data;
};

// function CheckSynchronize(Timeout: Integer): Boolean — on the main thread,
// waits up to Timeout ms for the event, runs every queued method; true when
// one ran. Elsewhere false.
using CheckSynchronizeFn = uint8_t(QM_HOST_REGISTER*)(int32_t timeout);
// class procedure Synchronize(Thread; Method) — EAX the class (ignored), EDX
// the thread (may be nil), ECX the method pointer's address (our choice):
// on the main thread the method runs at once; elsewhere it is queued, the
// event set, and the caller waits until the main thread ran it (at most 30 s,
// counted in RtlSynchronizeTimeouts, then it returns without it).
using SynchronizeFn = void(QM_HOST_REGISTER*)(void* classRef, void* thread, const TMethod* method);
using SynchronizeTimeoutsFn = uint32_t(__stdcall*)();

} // namespace RtlThreadsDriver
