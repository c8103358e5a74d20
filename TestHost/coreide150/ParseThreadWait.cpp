// The parser thread's wait for work: the thread object (TParseThread, its
// event at +0x18), the event (Syncobjs.TEvent: virtual Acquire, Release,
// WaitFor), the application's message processing the wait routine calls, and
// the driver the tests, the benchmark and bds.exe use. The routine itself is
// the host's bytes (ParseThreadWaitCode.S).
#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "Common/HostClass.h"
#include "Common/HostRtl.h"
#include "ParseThreadWaitDriver.h"

using namespace QmHost;
namespace L = ParseThreadWaitDriver::Layout;

QM_HOST_CLASS(coreide_TEvent_Class, 3);
QM_HOST_CLASS(coreide_TParseThread_Class, 0);

extern "C" {
extern char coreide_TParseThread_Class[] QM_HOST_SYMBOL(coreide_TParseThread_Class);
// The constructor's export (ParseThreadWaitCode.S).
void* QM_HOST_REGISTER CoreIdeParseThreadCreateExport(void* classOrSelf, int alloc) QM_HOST_SYMBOL(coreide_TParseThread_Create);
// Forms.Application as this package sees it (the wait routine reads it
// through its import slot); the stand-in's message processing ignores it.
void* coreide_Application = nullptr;
std::uint8_t QM_HOST_REGISTER CoreIdeParseThreadWaitForWork(void* self, int32_t timeout)
    QM_HOST_SYMBOL(coreide_TParseThread_WaitForWork);
void* QM_HOST_REGISTER CoreIdeParseThreadCreate(void* classOrSelf, int alloc) QM_HOST_SYMBOL(CoreIdeParseThreadCreate);
void QM_HOST_REGISTER CoreIdeProcessMessages(void* application) QM_HOST_SYMBOL(coreide_ProcessMessages);
}

namespace {

namespace EventLayout {
constexpr int Handle = 4, Waits = 8, Size = 12;
}

template <class T>
T& Field(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

using TNewInstanceFn = void*(QM_HOST_REGISTER*)(void* classRef);
using TSelfFn = void(QM_HOST_REGISTER*)(void* self);
using TDestroyFn = void(QM_HOST_REGISTER*)(void* self, int outermost);

void* g_objectClassVar = nullptr;
void* g_eventClassVar = nullptr;

void QM_HOST_REGISTER EventAcquire(void* self) { WaitForSingleObject(Field<HANDLE>(self, EventLayout::Handle), INFINITE); }
void QM_HOST_REGISTER EventRelease(void*) {}

// function WaitFor(Timeout: Cardinal): TWaitResult — also wakes for a
// message posted to the calling thread (4), as the host's event does on a
// thread with a message queue.
std::uint32_t QM_HOST_REGISTER EventWaitFor(void* self, std::uint32_t timeout) {
  InterlockedIncrement(&Field<LONG>(self, EventLayout::Waits));
  HANDLE handle = Field<HANDLE>(self, EventLayout::Handle);
  switch (MsgWaitForMultipleObjects(1, &handle, FALSE, timeout, QS_ALLINPUT)) {
    case WAIT_OBJECT_0: return 0;
    case WAIT_OBJECT_0 + 1: return 4;
    case WAIT_TIMEOUT: return 1;
    default: return 3;
  }
}

void QM_HOST_REGISTER EventDestroy(void* self, int outermost) {
  CloseHandle(Field<HANDLE>(self, EventLayout::Handle));
  if (outermost & 0xFF) reinterpret_cast<TSelfFn>(VmtSlot(g_eventClassVar, kVmtFreeInstance))(self);
}

void QM_HOST_REGISTER ParseThreadDestroy(void* self, int outermost) {
  if (void* event = Field<void*>(self, L::Event)) LoadedHostRtl()->objectFree(event);
  Field<void*>(self, L::Event) = nullptr;
  if (outermost & 0xFF) reinterpret_cast<TSelfFn>(VmtSlot(coreide_TParseThread_Class, kVmtFreeInstance))(self);
}

bool ClassesBuilt() {
  static const bool built = [] {
    g_objectClassVar = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"rtl150.bpl"), "@System@TObject@"));
    if (!g_objectClassVar) return false;
    g_eventClassVar = HostClassBuilder(coreide_TEvent_Class_Storage, "TEvent")
                          .Parent(&g_objectClassVar)
                          .InstanceSize(EventLayout::Size)
                          .Virtual(0, reinterpret_cast<const void*>(&EventAcquire))
                          .Virtual(1, reinterpret_cast<const void*>(&EventRelease))
                          .Virtual(2, reinterpret_cast<const void*>(&EventWaitFor))
                          .Root(kVmtDestroy, reinterpret_cast<const void*>(&EventDestroy))
                          .TypeInfo("Syncobjs")
                          .Build();
    return HostClassBuilder(coreide_TParseThread_Class_Storage, "TParseThread")
               .Parent(&g_objectClassVar)
               .InstanceSize(L::Size)
               .Root(kVmtDestroy, reinterpret_cast<const void*>(&ParseThreadDestroy))
               .TypeInfo("Parserthread")
               .Build() != nullptr;
  }();
  return built;
}

void* NewInstance(void* classRef) { return reinterpret_cast<TNewInstanceFn>(VmtSlot(classRef, kVmtNewInstance))(classRef); }

using TWaitRoutine = std::uint8_t(QM_HOST_REGISTER*)(void* self, int32_t timeout);

int32_t Waits(void* thread) { return Field<LONG>(Field<void*>(thread, L::Event), EventLayout::Waits); }

struct TPoster {
  DWORD Target;
  int32_t Interval, For;
};

DWORD WINAPI PostMessages(void* data) {
  const TPoster& p = *static_cast<TPoster*>(data);
  const DWORD start = GetTickCount();
  while (int32_t(GetTickCount() - start) < p.For) {
    Sleep(DWORD(p.Interval));
    PostThreadMessageW(p.Target, WM_NULL, 0, 0);
  }
  return 0;
}

} // namespace

extern "C" {

void* QM_HOST_REGISTER CoreIdeParseThreadCreate(void* classOrSelf, int alloc) {
  if (!ClassesBuilt()) return nullptr;
  void* self = (alloc & 0xFF) ? NewInstance(classOrSelf) : classOrSelf;
  void* event = NewInstance(g_eventClassVar);
  Field<HANDLE>(event, EventLayout::Handle) = CreateEventW(nullptr, FALSE, FALSE, nullptr);  // auto-reset
  Field<void*>(self, L::Event) = event;
  if (alloc & 0xFF) reinterpret_cast<TSelfFn>(VmtSlot(classOrSelf, kVmtAfterConstruction))(self);
  return self;
}

// TApplication.ProcessMessages: every message of the calling thread dispatched.
void QM_HOST_REGISTER CoreIdeProcessMessages(void*) {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void* __stdcall ParseWaitNew() {
  return ClassesBuilt() ? CoreIdeParseThreadCreateExport(coreide_TParseThread_Class, 1) : nullptr;
}

void __stdcall ParseWaitFree(void* thread) { LoadedHostRtl()->objectFree(thread); }

void __stdcall ParseWaitSignal(void* thread) {
  SetEvent(Field<HANDLE>(Field<void*>(thread, L::Event), EventLayout::Handle));
}

int32_t __stdcall ParseWaitCall(void* thread, int32_t timeoutMs, int32_t* waits) {
  const int32_t before = Waits(thread);
  auto routine = reinterpret_cast<TWaitRoutine>(&CoreIdeParseThreadWaitForWork);
  const int32_t result = routine(thread, timeoutMs) & 0xFF;
  if (waits) *waits = Waits(thread) - before;
  return result;
}

int32_t __stdcall ParseWaitWithMessages(void* thread, int32_t timeoutMs, int32_t intervalMs, int32_t forMs,
                                        int32_t* waits, double* elapsedMs) {
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the calling thread's queue exists from now on
  TPoster poster{GetCurrentThreadId(), intervalMs, forMs};
  HANDLE posting = CreateThread(nullptr, 0, &PostMessages, &poster, 0, nullptr);
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  const int32_t result = ParseWaitCall(thread, timeoutMs, waits);
  QueryPerformanceCounter(&end);
  WaitForSingleObject(posting, INFINITE);
  CloseHandle(posting);
  CoreIdeProcessMessages(nullptr);
  if (elapsedMs) *elapsedMs = double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart);
  return result;
}

} // extern "C"

namespace {
namespace D = ParseThreadWaitDriver;
static_assert(std::is_same_v<decltype(&ParseWaitNew), D::NewFn> && std::is_same_v<decltype(&ParseWaitFree), D::ObjectFn> &&
                  std::is_same_v<decltype(&ParseWaitSignal), D::ObjectFn> &&
                  std::is_same_v<decltype(&ParseWaitCall), D::WaitFn> &&
                  std::is_same_v<decltype(&ParseWaitWithMessages), D::WaitWithMessagesFn>,
              "exports differ from ParseThreadWaitDriver.h");
}  // namespace
