// The background parser: a real thread that parses the document module it
// was asked for (TParseThread.Parse, ParserThreadCode.S) and runs posted
// work (the IDE's background compiles) while it holds the parser's lock, and
// the module's NotifyDestroyed, which frees the module's text at once,
// whether or not a parse is still reading it. The parse reads the text pass
// after pass for at least two milliseconds, checking the cancel flag every
// 256 bytes; a text freed under it shows as the canary (ParserThread.h).
//
// The parser's lock is a mutex in a host lock object. Acquiring it waits a
// long but finite time: a deadlock (the main thread waiting for the lock
// while the parser waits for the main thread in Synchronize) shows as a
// timeout, counted and journaled, instead of hanging the process.
#include "ParserThread.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <type_traits>
#include <vector>

#include "Common/HostRtl.h"
#include "ParserThreadDriver.h"

using namespace CoreIde;

extern "C" {
void* coreide_ParseThread = nullptr;
}

namespace {

template <class T>
T& Field(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

volatile uint8_t& ByteField(void* object, int offset) {
  return *reinterpret_cast<volatile uint8_t*>(static_cast<char*>(object) + offset);
}

// The lock object at +0x40: virtual methods 0 Acquire, 1 Release.
struct TLockObject {
  const void* const* Methods;
  HANDLE Handle;  // +4
};
static_assert(offsetof(TLockObject, Handle) == ParseThreadLayout::LockHandle, "lock object layout");

struct TWork {
  ParserThreadDriver::WorkFn Fn;
  void* Data;
};

// The stand-in's own part of the parse-thread object (behind its host fields).
struct TParserQueue {
  CRITICAL_SECTION Lock;
  std::deque<TWork> Work;
  HANDLE Idle;  // set while no work is queued or running
  volatile LONG Requested = 0;  // a parse was asked for and has not begun
};

TParserQueue* QueueOf(void* self) { return Field<TParserQueue*>(self, ParseThreadLayout::Queue); }

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
TLockObject* LockOf(void* self) { return Field<TLockObject*>(self, ParseThreadLayout::LockObject); }
void LockVirtual(void* self, int slot) {
  TLockObject* lock = LockOf(self);
  reinterpret_cast<TMethod>(const_cast<void*>(lock->Methods[slot]))(lock);
}

// Calls through the export's own address, so whatever is written at its entry runs.
TMethod ExportedLock() {
  static HMODULE self = [] {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ExportedLock), &module);
    return module;
  }();
  return reinterpret_cast<TMethod>(reinterpret_cast<void*>(GetProcAddress(self, ParserThreadDriver::Export::Lock)));
}

// Freed texts, kept mapped until the parser is idle.
CRITICAL_SECTION g_freedLock;
std::vector<char*> g_freed;
bool g_freedReady = false;
volatile uint32_t g_parseSum = 0;  // what the parses computed (kept so the reads stay)

void EnsureFreedLock() {
  if (!g_freedReady) {
    InitializeCriticalSection(&g_freedLock);
    g_freedReady = true;
  }
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return double(to.QuadPart - from.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

// Runs the queued work, each item under the parser's lock, until none is left.
void RunQueuedWork(void* self) {
  TParserQueue* queue = QueueOf(self);
  for (;;) {
    EnterCriticalSection(&queue->Lock);
    if (queue->Work.empty()) {
      SetEvent(queue->Idle);
      LeaveCriticalSection(&queue->Lock);
      return;
    }
    const TWork work = queue->Work.front();
    queue->Work.pop_front();
    LeaveCriticalSection(&queue->Lock);
    ExportedLock()(self);
    work.Fn(work.Data);
    CoreIdeParseThreadUnlock(self);
  }
}

DWORD WINAPI ParserLoop(void* self) {
  for (;;) {
    WaitForSingleObject(Field<HANDLE>(self, ParseThreadLayout::Wake), INFINITE);
    if (ByteField(self, ParseThreadLayout::Terminated)) return 0;
    RunQueuedWork(self);
    if (InterlockedExchange(&QueueOf(self)->Requested, 0) && Field<void*>(self, ParseThreadLayout::Module))
      CoreIdeParseThreadParse(self);
    InterlockedExchange(&Field<LONG>(self, ParseThreadLayout::Busy), 0);
  }
}

}  // namespace

extern "C" {

void QM_HOST_REGISTER CoreIdeParseThreadLock(void* self) {
  LockVirtual(self, 0);
  InterlockedIncrement(&Field<LONG>(self, ParseThreadLayout::LockCount));
}

// The cancel request ends with the lock that CancelAndLock took.
void QM_HOST_REGISTER CoreIdeParseThreadUnlock(void* self) {
  InterlockedDecrement(&Field<LONG>(self, ParseThreadLayout::LockCount));
  ByteField(self, ParseThreadLayout::Cancel) = 0;
  LockVirtual(self, 1);
}

void QM_HOST_REGISTER CoreIdeParseThreadCancelAndLock(void* self) {
  ByteField(self, ParseThreadLayout::Cancel) = 1;
  ExportedLock()(self);
}

double QM_HOST_REGISTER CoreIdeParseThreadDoParse(void* self) {
  LARGE_INTEGER start, now;
  QueryPerformanceCounter(&start);
  void* module = Field<void*>(self, ParseThreadLayout::Module);
  const char* text = module ? Field<const char*>(module, DocModuleLayout::Text) : nullptr;
  const int32_t length = module ? Field<int32_t>(module, DocModuleLayout::Length) : 0;
  if (!text) return 0.0;
  bool canceled = false, canary = false;
  uint32_t sum = 0;
  for (int pass = 0; !canceled && !canary; ++pass) {
    for (int32_t i = 0; i < length; ++i) {
      if ((i & 255) == 0 && ByteField(self, ParseThreadLayout::Cancel)) {
        canceled = true;
        break;
      }
      const uint8_t c = *reinterpret_cast<const volatile uint8_t*>(text + i);
      if (c == FreedTextCanary) {
        canary = true;
        break;
      }
      sum = sum * 31 + c;
    }
    QueryPerformanceCounter(&now);
    if (pass >= 3 && Milliseconds(start, now) >= 2.0) break;
    SwitchToThread();
  }
  if (canceled) ++Field<int32_t>(self, ParseThreadLayout::Canceled);
  if (canary) ++Field<int32_t>(self, ParseThreadLayout::CanaryReads);
  ++Field<int32_t>(self, ParseThreadLayout::Parses);
  QueryPerformanceCounter(&now);
  g_parseSum = sum;
  return Milliseconds(start, now);
}

// NotifyDestroyed(Self, const Intf, const Other): the module is gone; its text is freed.
void QM_HOST_REGISTER CoreIdeNotifyDestroyed(void* self, void*, void*) {
  char* text = Field<char*>(self, DocModuleLayout::Text);
  if (!text) return;
  Field<char*>(self, DocModuleLayout::Text) = nullptr;
  std::memset(text, FreedTextCanary, size_t(Field<int32_t>(self, DocModuleLayout::Length)));
  EnsureFreedLock();
  EnterCriticalSection(&g_freedLock);
  g_freed.push_back(text);
  LeaveCriticalSection(&g_freedLock);
  if (Field<uint8_t>(self, DocModuleLayout::RaiseOnDestroy)) {
    const QmHost::HostRtl* rtl = QmHost::LoadedHostRtl();
    rtl->raiseExcept(rtl->NewException(L"Module still referenced"));
  }
}

// ---- driver (ParserThreadDriver.h) -----------------------------------------------

void* __stdcall ParserStart() {
  if (coreide_ParseThread) return coreide_ParseThread;
  void* self = std::calloc(1, ParseThreadLayout::Size);
  Field<TLockObject*>(self, ParseThreadLayout::LockObject) = new TLockObject{LockMethods, CreateMutexW(nullptr, FALSE, nullptr)};
  auto* queue = new TParserQueue;
  InitializeCriticalSection(&queue->Lock);
  queue->Idle = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  Field<TParserQueue*>(self, ParseThreadLayout::Queue) = queue;
  Field<HANDLE>(self, ParseThreadLayout::Wake) = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  Field<HANDLE>(self, ParseThreadLayout::Thread) =
      CreateThread(nullptr, 0, &ParserLoop, self, CREATE_SUSPENDED, &Field<DWORD>(self, ParseThreadLayout::ThreadId));
  coreide_ParseThread = self;
  ResumeThread(Field<HANDLE>(self, ParseThreadLayout::Thread));
  return self;
}

void __stdcall ParserStop() {
  void* self = coreide_ParseThread;
  if (!self) return;
  coreide_ParseThread = nullptr;
  ByteField(self, ParseThreadLayout::Terminated) = 1;
  SetEvent(Field<HANDLE>(self, ParseThreadLayout::Wake));
  WaitForSingleObject(Field<HANDLE>(self, ParseThreadLayout::Thread), INFINITE);
  CloseHandle(Field<HANDLE>(self, ParseThreadLayout::Thread));
  CloseHandle(Field<HANDLE>(self, ParseThreadLayout::Wake));
  CloseHandle(LockOf(self)->Handle);
  delete LockOf(self);
  TParserQueue* queue = QueueOf(self);
  CloseHandle(queue->Idle);
  DeleteCriticalSection(&queue->Lock);
  delete queue;
  std::free(self);
}

void __stdcall ParserRequest(void* module) {
  void* self = coreide_ParseThread;
  if (!self) return;
  ExportedLock()(self);
  Field<void*>(self, ParseThreadLayout::Module) = module;
  CoreIdeParseThreadUnlock(self);
  InterlockedExchange(&Field<LONG>(self, ParseThreadLayout::Busy), 1);
  InterlockedExchange(&QueueOf(self)->Requested, 1);
  SetEvent(Field<HANDLE>(self, ParseThreadLayout::Wake));
}

int32_t __stdcall ParserParsing() {
  void* self = coreide_ParseThread;
  return self ? ByteField(self, ParseThreadLayout::Parsing) : 0;
}

void __stdcall ParserPost(ParserThreadDriver::WorkFn work, void* data) {
  void* self = coreide_ParseThread;
  TParserQueue* queue = QueueOf(self);
  EnterCriticalSection(&queue->Lock);
  queue->Work.push_back(TWork{work, data});
  ResetEvent(queue->Idle);
  LeaveCriticalSection(&queue->Lock);
  SetEvent(Field<HANDLE>(self, ParseThreadLayout::Wake));
}

int32_t __stdcall ParserWaitIdle(int32_t timeoutMs) {
  void* self = coreide_ParseThread;
  const DWORD start = GetTickCount();
  if (self && WaitForSingleObject(QueueOf(self)->Idle, DWORD(timeoutMs)) != WAIT_OBJECT_0) return 0;
  while (self && InterlockedCompareExchange(&Field<LONG>(self, ParseThreadLayout::Busy), 0, 0)) {
    if (GetTickCount() - start > DWORD(timeoutMs)) return 0;
    Sleep(0);
  }
  EnsureFreedLock();
  EnterCriticalSection(&g_freedLock);
  for (char* text : g_freed) std::free(text);
  g_freed.clear();
  LeaveCriticalSection(&g_freedLock);
  return 1;
}

void __stdcall ParserCounts(int32_t* parses, int32_t* canceled, int32_t* canaryReads) {
  void* self = coreide_ParseThread;
  if (parses) *parses = self ? Field<int32_t>(self, ParseThreadLayout::Parses) : 0;
  if (canceled) *canceled = self ? Field<int32_t>(self, ParseThreadLayout::Canceled) : 0;
  if (canaryReads) *canaryReads = self ? Field<int32_t>(self, ParseThreadLayout::CanaryReads) : 0;
}

uint32_t __stdcall ParserLockTimeouts() { return uint32_t(g_lockTimeouts); }

void __stdcall ParserSetLockWait(uint32_t milliseconds) { g_lockWait = milliseconds; }

int32_t __stdcall ParserCanceled() { return coreide_ParseThread ? ByteField(coreide_ParseThread, ParseThreadLayout::Cancel) : 0; }

void* __stdcall DocModuleOpen(int32_t length, uint32_t seed) {
  void* module = std::calloc(1, DocModuleLayout::Size);
  char* text = static_cast<char*>(std::malloc(size_t(length) + 1));
  for (int32_t i = 0; i < length; ++i) {
    seed = seed * 1664525u + 1013904223u;
    text[i] = char('a' + (seed >> 24) % 26);
  }
  text[length] = 0;
  Field<char*>(module, DocModuleLayout::Text) = text;
  Field<int32_t>(module, DocModuleLayout::Length) = length;
  return module;
}

void __stdcall DocModuleRaiseOnDestroy(void* module) { Field<uint8_t>(module, DocModuleLayout::RaiseOnDestroy) = 1; }

int32_t __stdcall DocModuleHasText(void* module) { return Field<char*>(module, DocModuleLayout::Text) != nullptr; }

void __stdcall DocModuleFree(void* module) {
  if (!module) return;
  std::free(Field<char*>(module, DocModuleLayout::Text));
  std::free(module);
}

}  // extern "C"

namespace D = ParserThreadDriver;
static_assert(D::Layout::ThreadId == ParseThreadLayout::ThreadId && D::Layout::LockObject == ParseThreadLayout::LockObject &&
                  D::Layout::LockCount == ParseThreadLayout::LockCount &&
                  D::Layout::LockHandle == ParseThreadLayout::LockHandle,
              "parse-thread layout differs from ParserThreadDriver.h");
static_assert(std::is_same_v<decltype(&CoreIdeParseThreadCancelAndLock), D::MethodFn> &&
                  std::is_same_v<decltype(&CoreIdeNotifyDestroyed), D::NotifyDestroyedFn> &&
                  std::is_same_v<decltype(&ParserStart), D::StartFn> && std::is_same_v<decltype(&ParserStop), D::VoidFn> &&
                  std::is_same_v<decltype(&ParserRequest), D::RequestFn> &&
                  std::is_same_v<decltype(&ParserParsing), D::ParsingFn> &&
                  std::is_same_v<decltype(&ParserWaitIdle), D::WaitIdleFn> &&
                  std::is_same_v<decltype(&ParserCounts), D::CountsFn> &&
                  std::is_same_v<decltype(&DocModuleOpen), D::OpenFn> &&
                  std::is_same_v<decltype(&DocModuleHasText), D::HasTextFn> &&
                  std::is_same_v<decltype(&DocModuleFree), D::RequestFn> &&
                  std::is_same_v<decltype(&DocModuleRaiseOnDestroy), D::RequestFn> &&
                  std::is_same_v<decltype(&ParserPost), D::PostFn> &&
                  std::is_same_v<decltype(&ParserLockTimeouts), D::LockTimeoutsFn> &&
                  std::is_same_v<decltype(&ParserSetLockWait), D::SetLockWaitFn> &&
                  std::is_same_v<decltype(&ParserCanceled), D::CanceledFn>,
              "exports differ from ParserThreadDriver.h");
