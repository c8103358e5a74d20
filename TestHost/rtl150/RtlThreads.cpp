// The run-time's thread synchronisation: a thread queues a method for the
// main thread (Synchronize), sets the synchronisation event and waits; the
// main thread runs the queue when it calls CheckSynchronize (the IDE does
// so while idle and while it waits for locks).
#include <windows.h>

#include <deque>
#include <type_traits>

#include "RtlThreadsDriver.h"

using RtlThreadsDriver::TMethod;

extern "C" {
// The thread that loaded the run-time (SystemModules.cpp exports it).
extern uint32_t rtl_MainThreadID QM_HOST_SYMBOL(rtl_MainThreadID);
HANDLE rtl_SyncEvent QM_HOST_SYMBOL(rtl_SyncEvent) = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

namespace {

constexpr DWORD SynchronizeLimit = 30000;

struct TRequest {
  TMethod Method;
  HANDLE Done;
};

CRITICAL_SECTION& QueueLock() {
  static CRITICAL_SECTION lock = [] {
    CRITICAL_SECTION l;
    InitializeCriticalSection(&l);
    return l;
  }();
  return lock;
}

std::deque<TRequest*>& Queue() {
  static std::deque<TRequest*> queue;
  return queue;
}

volatile LONG g_timeouts = 0;

} // namespace

extern "C" {

uint8_t QM_HOST_REGISTER rtl_CheckSynchronize(int32_t timeout) QM_HOST_SYMBOL(rtl_CheckSynchronize);
uint8_t QM_HOST_REGISTER rtl_CheckSynchronize(int32_t timeout) {
  if (GetCurrentThreadId() != rtl_MainThreadID) return 0;
  if (timeout > 0) WaitForSingleObject(rtl_SyncEvent, DWORD(timeout));
  bool ran = false;
  for (;;) {
    EnterCriticalSection(&QueueLock());
    if (Queue().empty()) {
      ResetEvent(rtl_SyncEvent);
      LeaveCriticalSection(&QueueLock());
      return ran;
    }
    TRequest* request = Queue().front();
    Queue().pop_front();
    LeaveCriticalSection(&QueueLock());
    request->Method.Code(request->Method.Data);
    SetEvent(request->Done);
    ran = true;
  }
}

void QM_HOST_REGISTER rtl_Synchronize(void*, void*, const TMethod* method) QM_HOST_SYMBOL(rtl_Synchronize);
void QM_HOST_REGISTER rtl_Synchronize(void*, void*, const TMethod* method) {
  if (GetCurrentThreadId() == rtl_MainThreadID) {
    method->Code(method->Data);
    return;
  }
  auto* request = new TRequest{*method, CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  EnterCriticalSection(&QueueLock());
  Queue().push_back(request);
  SetEvent(rtl_SyncEvent);
  LeaveCriticalSection(&QueueLock());
  if (WaitForSingleObject(request->Done, SynchronizeLimit) == WAIT_OBJECT_0) {
    CloseHandle(request->Done);
    delete request;
    return;
  }
  // Not run in time: taken back out of the queue (the main thread may be
  // running it right now; then it is left to finish).
  InterlockedIncrement(&g_timeouts);
  EnterCriticalSection(&QueueLock());
  for (auto it = Queue().begin(); it != Queue().end(); ++it)
    if (*it == request) {
      Queue().erase(it);
      CloseHandle(request->Done);
      delete request;
      break;
    }
  LeaveCriticalSection(&QueueLock());
}

uint32_t __stdcall RtlSynchronizeTimeouts() { return uint32_t(g_timeouts); }

} // extern "C"

static_assert(std::is_same_v<decltype(&rtl_CheckSynchronize), RtlThreadsDriver::CheckSynchronizeFn> &&
                  std::is_same_v<decltype(&rtl_Synchronize), RtlThreadsDriver::SynchronizeFn> &&
                  std::is_same_v<decltype(&RtlSynchronizeTimeouts), RtlThreadsDriver::SynchronizeTimeoutsFn>,
              "the run-time's synchronisation differs from RtlThreadsDriver.h");
