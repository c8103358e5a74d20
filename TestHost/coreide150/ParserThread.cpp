// Unit Parserthread: the IDE's background parser. A thread of its own runs
// posted work (the IDE's background compiles) while it holds the parser's
// lock, a mutex in a host lock object. Acquiring that lock waits a long but
// finite time: a deadlock (the main thread waiting for the lock while the
// parser waits for the main thread in Synchronize) shows as a timeout,
// counted and journaled, instead of hanging the process.
#include <windows.h>

#include <cstddef>
#include <deque>
#include <type_traits>

#include "ParserThreadDriver.h"

namespace {

namespace Layout = ParserThreadDriver::Layout;

struct TLockObject {
  const void* const* Methods;  // virtual methods: 0 Acquire, 1 Release
  HANDLE Handle;               // +4
};

struct TWork {
  ParserThreadDriver::WorkFn Fn;
  void* Data;
};

struct TParseThread {
  const void* ClassRef;  // 0x00
  uint32_t Pad04;
  DWORD ThreadId;        // 0x08
  uint8_t Pad0C[0x34];
  TLockObject* Lock;     // 0x40
  uint8_t Pad44[0x0C];
  volatile LONG LockCount;  // 0x50
  // The stand-in's own part.
  volatile LONG Canceled;
  HANDLE Thread;
  HANDLE WorkReady;
  HANDLE Idle;  // set while nothing is queued or running
  CRITICAL_SECTION QueueLock;
  std::deque<TWork> Queue;
};
static_assert(offsetof(TParseThread, ThreadId) == Layout::ThreadId &&
                  offsetof(TParseThread, Lock) == Layout::LockObject &&
                  offsetof(TParseThread, LockCount) == Layout::LockCount,
              "parse-thread object layout");
static_assert(offsetof(TLockObject, Handle) == Layout::LockHandle, "lock object layout");

volatile DWORD g_lockWait = 10000;
volatile LONG g_lockTimeouts = 0;

void Journal(const wchar_t* line) {
  using TJournal = void(__cdecl*)(const wchar_t*);
  if (auto journal = reinterpret_cast<TJournal>(
          reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), "TestHostJournal"))))
    journal(line);
}

void QM_HOST_REGISTER LockAcquire(TLockObject* self) {
  const DWORD waited = WaitForSingleObject(self->Handle, g_lockWait);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return;
  InterlockedIncrement(&g_lockTimeouts);
  Journal(L"PARSER-LOCK-TIMEOUT");
}

void QM_HOST_REGISTER LockRelease(TLockObject* self) { ReleaseMutex(self->Handle); }

const void* const LockMethods[] = {reinterpret_cast<const void*>(&LockAcquire),
                                   reinterpret_cast<const void*>(&LockRelease)};

using TMethod = void(QM_HOST_REGISTER*)(void* self);
TMethod Virtual(const TLockObject* object, int slot) { return reinterpret_cast<TMethod>(const_cast<void*>(object->Methods[slot])); }

} // namespace

extern "C" {

TParseThread* coreide_ParseThread QM_HOST_SYMBOL(coreide_ParseThread) = nullptr;

void QM_HOST_REGISTER coreide_ParseThreadLock(TParseThread* self) QM_HOST_SYMBOL(coreide_ParseThreadLock);
void QM_HOST_REGISTER coreide_ParseThreadLock(TParseThread* self) {
  Virtual(self->Lock, 0)(self->Lock);
  InterlockedIncrement(&self->LockCount);
}

void QM_HOST_REGISTER coreide_ParseThreadCancelAndLock(TParseThread* self) QM_HOST_SYMBOL(coreide_ParseThreadCancelAndLock);

void QM_HOST_REGISTER coreide_ParseThreadUnlock(TParseThread* self) QM_HOST_SYMBOL(coreide_ParseThreadUnlock);
void QM_HOST_REGISTER coreide_ParseThreadUnlock(TParseThread* self) {
  InterlockedDecrement(&self->LockCount);
  InterlockedExchange(&self->Canceled, 0);
  Virtual(self->Lock, 1)(self->Lock);
}

} // extern "C"

namespace {

// Calls through the export's own address, so whatever is written at its entry runs.
TMethod ExportedLock() {
  static HMODULE self = [] {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ExportedLock), &module);
    return module;
  }();
  return reinterpret_cast<TMethod>(
      reinterpret_cast<void*>(GetProcAddress(self, ParserThreadDriver::Export::Lock)));
}

DWORD WINAPI ParserLoop(void* parameter) {
  auto* parser = static_cast<TParseThread*>(parameter);
  for (;;) {
    WaitForSingleObject(parser->WorkReady, INFINITE);
    for (;;) {
      EnterCriticalSection(&parser->QueueLock);
      if (parser->Queue.empty()) {
        ResetEvent(parser->WorkReady);
        SetEvent(parser->Idle);
        LeaveCriticalSection(&parser->QueueLock);
        break;
      }
      TWork work = parser->Queue.front();
      parser->Queue.pop_front();
      LeaveCriticalSection(&parser->QueueLock);
      ExportedLock()(parser);
      work.Fn(work.Data);
      coreide_ParseThreadUnlock(parser);
    }
  }
}

} // namespace

extern "C" {

void QM_HOST_REGISTER coreide_ParseThreadCancelAndLock(TParseThread* self) {
  InterlockedExchange(&self->Canceled, 1);
  ExportedLock()(self);
}

void* __stdcall CoreIdeParserStart() {
  if (coreide_ParseThread) return coreide_ParseThread;
  auto* parser = new TParseThread{};
  parser->Lock = new TLockObject{LockMethods, CreateMutexW(nullptr, FALSE, nullptr)};
  parser->WorkReady = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  parser->Idle = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  InitializeCriticalSection(&parser->QueueLock);
  parser->Thread = CreateThread(nullptr, 0, &ParserLoop, parser, CREATE_SUSPENDED, &parser->ThreadId);
  coreide_ParseThread = parser;
  ResumeThread(parser->Thread);
  return parser;
}

void __stdcall CoreIdeParserPost(ParserThreadDriver::WorkFn work, void* data) {
  TParseThread* parser = coreide_ParseThread;
  EnterCriticalSection(&parser->QueueLock);
  parser->Queue.push_back(TWork{work, data});
  ResetEvent(parser->Idle);
  SetEvent(parser->WorkReady);
  LeaveCriticalSection(&parser->QueueLock);
}

int32_t __stdcall CoreIdeParserWaitIdle(uint32_t milliseconds) {
  return coreide_ParseThread && WaitForSingleObject(coreide_ParseThread->Idle, milliseconds) == WAIT_OBJECT_0;
}

uint32_t __stdcall CoreIdeParserLockTimeouts() { return uint32_t(g_lockTimeouts); }

void __stdcall CoreIdeParserSetLockWait(uint32_t milliseconds) { g_lockWait = milliseconds; }

int32_t __stdcall CoreIdeParserCanceled() { return coreide_ParseThread ? coreide_ParseThread->Canceled : 0; }

} // extern "C"

namespace {
namespace Declared = ParserThreadDriver;
template <class A, class B>
constexpr bool Agrees(A, B) {
  return std::is_same_v<A, B>;
}
static_assert(Agrees(&CoreIdeParserStart, Declared::StartFn()) && Agrees(&CoreIdeParserPost, Declared::PostFn()) &&
                  Agrees(&CoreIdeParserWaitIdle, Declared::WaitIdleFn()) &&
                  Agrees(&CoreIdeParserLockTimeouts, Declared::LockTimeoutsFn()) &&
                  Agrees(&CoreIdeParserSetLockWait, Declared::SetLockWaitFn()) &&
                  Agrees(&CoreIdeParserCanceled, Declared::CanceledFn()),
              "parser driver exports differ from ParserThreadDriver.h");
} // namespace
