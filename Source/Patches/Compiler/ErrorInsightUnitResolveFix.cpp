#include "Patches/Compiler/ErrorInsightUnitResolveFix.h"

#include <windows.h>

#include "Framework/HostFinally.h"
#include "Hooking/EngineError.h"
#include "Patches/Compiler/IdeParserThread.h"

namespace Quillmend {

// The host's Lock after its first two instructions and UnLock after its
// call, which the thunks below continue in (read by them).
void* g_compilerLockRest asm("QmCompilerLockRest") = nullptr;
void* g_compilerUnLockRest asm("QmCompilerUnLockRest") = nullptr;

namespace {

namespace Exports = IdeParserThreadExport;

using TParseMethod = void(QM_REGISTER*)(void* parseThread);
using TCheckSynchronize = uint8_t(QM_REGISTER*)(int32_t timeout);
using TCoWaitForMultipleHandles = HRESULT(WINAPI*)(DWORD flags, DWORD timeout, ULONG count, HANDLE* handles,
                                                   DWORD* index);

constexpr HRESULT ComNotInitialized = HRESULT(0x800401F0);

TParseMethod g_cancelAndLock = nullptr;
TParseMethod g_parseUnlock = nullptr;
const DWORD* g_mainThreadId = nullptr;  // the run-time's MainThreadID
DWORD g_installThread = 0;
HANDLE* g_syncEvent = nullptr;          // the run-time's synchronisation event
TCheckSynchronize g_checkSynchronize = nullptr;

thread_local int32_t g_nesting = 0;

bool OnMainThread() {
  return GetCurrentThreadId() == (g_mainThreadId ? *g_mainThreadId : g_installThread);
}

// Waits for either handle, COM-aware; false on a wait error.
bool WaitForEither(HANDLE* handles, DWORD& index) {
  static const TCoWaitForMultipleHandles coWait = [] {
    HMODULE ole = LoadLibraryW(L"ole32.dll");
    return ole ? reinterpret_cast<TCoWaitForMultipleHandles>(
                     reinterpret_cast<void*>(GetProcAddress(ole, "CoWaitForMultipleHandles")))
               : nullptr;
  }();
  if (coWait) {
    const HRESULT result = coWait(0, INFINITE, 2, handles, &index);
    if (SUCCEEDED(result)) return true;
    if (result != ComNotInitialized) return false;
  }
  // A thread without COM waits the plain way.
  const DWORD waited = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
  if (waited == WAIT_FAILED) return false;
  index = waited >= WAIT_ABANDONED_0 ? waited - WAIT_ABANDONED_0 : waited - WAIT_OBJECT_0;
  return index < 2;
}

} // namespace

// push ebx; mov edx,500 — then the host's Lock from its third instruction.
extern "C" void QM_REGISTER QmCompilerLockHost() asm("QmCompilerLockHost");
asm(".text\n"
    ".balign 16\n"
    "QmCompilerLockHost:\n"
    "  pushl %ebx\n"
    "  movl $0x1F4, %edx\n"
    "  jmp *QmCompilerLockRest\n");
// The host's UnLock after its call, with the thread id in eax.
extern "C" int32_t QM_REGISTER QmCompilerUnLockHost(DWORD threadId) asm("QmCompilerUnLockHost");
asm(".text\n"
    ".balign 16\n"
    "QmCompilerUnLockHost:\n"
    "  jmp *QmCompilerUnLockRest\n");

int32_t CompilerLockNesting() { return g_nesting; }

// On the way out of a Lock that raised, everything this Lock did is undone:
// its level, the parser's lock taken for it, the directory.
void QM_REGISTER CompilerLockReplacement() {
  struct TFrame {
    void* Parser;
    wchar_t Saved[MAX_PATH + 2];
    DWORD SavedLength;
    bool Locked;
  } frame = {};
  frame.Parser = OnMainThread() ? ParserThreadObject() : nullptr;
  if (frame.Parser && g_cancelAndLock) g_cancelAndLock(frame.Parser);
  if (g_nesting++ > 0) return;
  frame.SavedLength = GetCurrentDirectoryW(MAX_PATH + 2, frame.Saved);
  HostTryFinally(
      [](void* data) {
        QmCompilerLockHost();
        static_cast<TFrame*>(data)->Locked = true;
      },
      &frame,
      [](void* data) {
        auto* f = static_cast<TFrame*>(data);
        if (f->SavedLength > 0 && f->SavedLength <= MAX_PATH) {
          wchar_t now[MAX_PATH + 2];
          const DWORD length = GetCurrentDirectoryW(MAX_PATH + 2, now);
          if (length != f->SavedLength || CompareStringOrdinal(now, int(length), f->Saved, int(length), FALSE) != CSTR_EQUAL)
            SetCurrentDirectoryW(f->Saved);
        }
        if (f->Locked) return;
        --g_nesting;
        if (f->Parser && g_parseUnlock) g_parseUnlock(f->Parser);
      });
}

int32_t QM_REGISTER CompilerUnLockReplacement() {
  // A level this replacement did not take (locked before the patch): the host's.
  if (g_nesting <= 0) return QmCompilerUnLockHost(GetCurrentThreadId());
  const int32_t left = --g_nesting;
  if (OnMainThread())
    if (void* parser = ParserThreadObject())
      if (g_parseUnlock) g_parseUnlock(parser);
  if (left > 0) return 0;
  return QmCompilerUnLockHost(GetCurrentThreadId());
}

void QM_REGISTER ParseThreadLockReplacement(void* parseThread) {
  auto* parser = static_cast<uint8_t*>(parseThread);
  void* lock = *reinterpret_cast<void**>(parser + ParseThreadLayout::LockObject);
  HANDLE syncEvent = g_syncEvent ? *g_syncEvent : nullptr;
  if (OnMainThread() && syncEvent && g_checkSynchronize) {
    HANDLE handles[2] = {*reinterpret_cast<HANDLE*>(static_cast<uint8_t*>(lock) + 4), syncEvent};
    for (;;) {
      DWORD index = 0;
      if (!WaitForEither(handles, index)) HostBoundary([] { RaiseLastOSError(); });
      if (index == 0) break;
      g_checkSynchronize(0);  // the parser may be waiting in Synchronize
    }
  } else {
    // The lock object's first virtual method acquires it.
    reinterpret_cast<TParseMethod>((*static_cast<void***>(lock))[0])(lock);
  }
  InterlockedIncrement(reinterpret_cast<volatile LONG*>(parser + ParseThreadLayout::LockCount));
}

namespace {

TPatchPlan LockCurrentDirPlan() {
  TPatchPlan plan(L"ErrorInsight.LockCurrentDir", L"Current directory can change while waiting for the compiler lock",
                  TInstallMoment::UnitInit);
  TSiteRef lock = plan.Export(L"Lock", Exports::DelphiCoreIde, "Lock");
  TSiteRef unlock = plan.Export(L"UnLock", Exports::DelphiCoreIde, "UnLock");
  TSiteRef parserLock = plan.Export(L"TParseThread.Lock", Exports::CoreIde, Exports::Lock);
  TSiteRef cancelAndLock = plan.Export(L"TParseThread.CancelAndLock", Exports::CoreIde, Exports::CancelAndLock);
  TSiteRef parserUnlock = plan.Export(L"TParseThread.Unlock", Exports::CoreIde, Exports::Unlock);
  plan.ExpectBytes(lock, 0, "53 BA F4 01 00 00");  // push ebx; mov edx,500: re-executed by the thunk
  plan.ExpectU8(unlock, 0, 0xE8);                   // the call giving the thread id
  plan.Redirect(lock, &CompilerLockReplacement);
  plan.Redirect(unlock, &CompilerUnLockReplacement);
  plan.Redirect(parserLock, &ParseThreadLockReplacement);
  plan.OnCommit([=](const TPlanValues& v) {
    g_compilerLockRest = v.At(lock, 6);
    g_compilerUnLockRest = v.At(unlock, 5);
    g_cancelAndLock = reinterpret_cast<TParseMethod>(v.Site(cancelAndLock));
    g_parseUnlock = reinterpret_cast<TParseMethod>(v.Site(parserUnlock));
    g_installThread = GetCurrentThreadId();
    // The run-time's main thread and synchronisation, where it has them.
    HMODULE rtl = ResolvePlanModule(L"rtl150.bpl");
    g_mainThreadId = static_cast<const DWORD*>(ResolvePlanExport(rtl, "@System@MainThreadID"));
    g_syncEvent = static_cast<HANDLE*>(ResolvePlanExport(rtl, "@Classes@SyncEvent"));
    g_checkSynchronize = reinterpret_cast<TCheckSynchronize>(ResolvePlanExport(rtl, "@Classes@CheckSynchronize$qqri"));
    ResolveParserThread();
  });
  return plan;
}

} // namespace

std::vector<TPatchPlan> ErrorInsightUnitResolveFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(LockCurrentDirPlan());
  return plans;
}

void InstallErrorInsightUnitResolveFix() {
  TPatchPlan plan = LockCurrentDirPlan();
  InstallPlan(plan);
}

const TUnitInfo Unit_ErrorInsightUnitResolveFix = {"ErrorInsightUnitResolveFix", &InstallErrorInsightUnitResolveFix,
                                                   nullptr, &ErrorInsightUnitResolveFixPlans};

} // namespace Quillmend
