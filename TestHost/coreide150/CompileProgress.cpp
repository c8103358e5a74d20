// The compile progress (CompileProgressDriver.h): BPROGRESS's body, the
// progress form's class and methods, the compile's state, and a stand-in
// compile that reports its progress through BPROGRESS.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <type_traits>

#include "Common/HostClass.h"
#include "Common/HostRtl.h"
#include "CompileProgressDriver.h"
#include "KibitzingMonitor.h"
#include "vcl150/MessagePumpDriver.h"

using namespace QmHost;
using namespace CompileProgressDriver;

QM_HOST_CLASS(coreide_TProgressForm_Class, 10);  // TCustomForm has 10 virtual methods

extern "C" {
LONG coreide_CancelPrepare = 0;
void* coreide_ProgressForm = nullptr;
std::uint8_t coreide_Preparing = 0;
void* coreide_ProgressMonitor = nullptr;
void* __stdcall KibitzingMonitorCreate(std::int32_t canceled);
void __stdcall KibitzingMonitorSetCanceled(void* monitor, std::int32_t canceled);
}

namespace {

using CreateFn = void*(QM_HOST_REGISTER*)(void* classRef, int alloc, void* owner);

std::atomic<int> g_originals{0}, g_clicks{0}, g_shows{0};
void* g_formClassVar = nullptr;
void* g_progressFormClass = nullptr;
void* g_monitor = nullptr;

template <class T>
T& At(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

template <class T>
T OwnProc(const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"coreide150.bpl"), name)));
}

template <class T>
T VclProc(const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"vcl150.bpl"), name)));
}

void* ProgressFormClass() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_formClassVar = VclProc<void*>("@Forms@TCustomForm@");
    g_progressFormClass = HostClassBuilder(coreide_TProgressForm_Class_Storage, "TProgressForm")
                              .Parent(&g_formClassVar)
                              .InstanceSize(ProgressFormLayout::Size)
                              .Build();
  });
  return g_progressFormClass;
}

// At the package's start, when vcl150 is loaded before it (as the IDE loads them).
[[maybe_unused]] const bool g_builtAtStart = GetModuleHandleW(L"vcl150.bpl") && ProgressFormClass();

// A click on the form's Cancel button, as the message pump runs it.
void __stdcall ClickCancel(void* form) { OwnProc<FormMethodFn>(Export::CancelButtonClick)(form, form); }

} // namespace

extern "C" {

// BPROGRESS's first part (the arguments in reverse): 1 when the progress
// monitor is cancelled; else the form shows the file and numbers (redrawn).
std::int32_t __stdcall coreide_BProgressUpdate(std::int32_t total, std::int32_t line, const char* fileName,
                                               std::int32_t kind) {
  ++g_originals;
  if (void* monitor = coreide_ProgressMonitor)
    if (KibitzingMonitorCanceled(monitor)) return 1;
  if (void* form = coreide_ProgressForm) {
    char* shown = &At<char>(form, ProgressFormLayout::FileName);
    std::snprintf(shown, 64, "%d %s %d/%d", static_cast<int>(kind), fileName ? fileName : "", static_cast<int>(line),
                  static_cast<int>(total));
    ++At<std::int32_t>(form, ProgressFormLayout::Redraws);
  }
  return 0;
}

void QM_HOST_REGISTER coreide_ProgressFormShowBody(void*, void*) QM_HOST_SYMBOL(coreide_ProgressFormShowBody);
void QM_HOST_REGISTER coreide_ProgressFormShowBody(void*, void*) { ++g_shows; }

void QM_HOST_REGISTER coreide_ProgressCancelClickBody(void*, void*) QM_HOST_SYMBOL(coreide_ProgressCancelClickBody);
void QM_HOST_REGISTER coreide_ProgressCancelClickBody(void*, void*) {
  InterlockedExchange(&coreide_CancelPrepare, 1);
  ++g_clicks;
}

void __stdcall CompileBegin(int options, int monitorCanceled) {
  if (!coreide_ProgressForm) {
    auto create = VclProc<CreateFn>("@Controls@TCustomControl@$bctr$qqrp18Classes@TComponent");
    coreide_ProgressForm = create(ProgressFormClass(), 1, nullptr);
  }
  At<std::uint32_t>(coreide_ProgressForm, ProgressFormLayout::Options) = std::uint32_t(options);
  if (!g_monitor) g_monitor = KibitzingMonitorCreate(0);
  KibitzingMonitorSetCanceled(g_monitor, monitorCanceled);
  coreide_ProgressMonitor = g_monitor;
  InterlockedExchange(&coreide_CancelPrepare, 0);
  OwnProc<FormMethodFn>(Export::FormShow)(coreide_ProgressForm, coreide_ProgressForm);
}

int __stdcall CompileFiles(int files, int calls, int sleepMs, int clickAt) {
  auto progress = OwnProc<BProgressFn>(Export::BProgress);
  auto post = VclProc<MessagePumpDriver::PostInvokeFn>(MessagePumpDriver::Export::PostInvoke);
  int call = 0;
  for (int file = 0; file < files; ++file) {
    char name[32];
    std::snprintf(name, sizeof name, "Unit%d.pas", file + 1);
    for (int line = 0; line < calls; ++line, ++call) {
      if (call == clickAt) post(&ClickCancel, coreide_ProgressForm);
      if (progress(calls, line, name, pkCompiling) != 0) return file;
      if (sleepMs > 0) Sleep(DWORD(sleepMs));
    }
  }
  return files;
}

void __stdcall CompileEnd() {
  if (coreide_ProgressForm) LoadedHostRtl()->objectFree(coreide_ProgressForm);
  coreide_ProgressForm = nullptr;
  coreide_ProgressMonitor = nullptr;
  InterlockedExchange(&coreide_CancelPrepare, 0);
  VclProc<MessagePumpDriver::DropInvokesFn>(MessagePumpDriver::Export::DropInvokes)();
}

void __stdcall CompileCounts(int* originals, int* clicks, int* shows) {
  if (originals) *originals = g_originals.load();
  if (clicks) *clicks = g_clicks.load();
  if (shows) *shows = g_shows.load();
}

void __stdcall CompileSetState(int preparing, int monitorCanceled) {
  coreide_Preparing = preparing ? 1 : 0;
  if (monitorCanceled >= 0 && g_monitor) KibitzingMonitorSetCanceled(g_monitor, monitorCanceled);
}

} // extern "C"

static_assert(std::is_same_v<decltype(&CompileBegin), BeginFn>, "Begin");
static_assert(std::is_same_v<decltype(&CompileFiles), FilesFn>, "Files");
static_assert(std::is_same_v<decltype(&CompileEnd), EndFn>, "End");
static_assert(std::is_same_v<decltype(&CompileCounts), CountsFn>, "Counts");
static_assert(std::is_same_v<decltype(&CompileSetState), SetStateFn>, "SetState");
