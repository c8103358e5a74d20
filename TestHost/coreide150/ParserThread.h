// The IDE's background parser (Parserthread.TParseThread) and the code
// editor's document module (Docmodul.TCodeIDocModule) as far as the pack
// meets them. A real thread parses the text of the module it was asked to
// parse; Parse holds the thread's lock and sets its parsing flag for the
// whole parse; CancelAndLock asks a running parse to stop and takes the
// lock, Unlock gives it back. Layouts are the test host's choice, except
// the parsing flag at +0x30, which the pack reads out of Parse's code, and
// the thread id (+8), lock object (+0x40) and lock count (+0x50) the pack's
// compiler lock uses.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"

namespace CoreIde {

namespace ParseThreadLayout {
constexpr int Thread = 4;          // HANDLE
constexpr int ThreadId = 8;        // the thread's id (the pack reads it here)
constexpr int Queue = 12;          // the stand-in's work queue (ParserThread.cpp)
constexpr int Wake = 16;           // event: a parse or work was asked for, or the thread ends
constexpr int Cancel = 20;         // byte: the running parse stops at its next check (until Unlock)
constexpr int Terminated = 21;     // byte
constexpr int Module = 24;         // the module to parse (TCodeIDocModule*)
constexpr int Parses = 28;         // parses finished
constexpr int Canceled = 32;       // parses stopped by a cancel
constexpr int CanaryReads = 36;    // parses that read a freed text's canary
constexpr int Busy = 40;           // 1 from a request until its parse finished
constexpr int Parsing = 0x30;      // byte: a parse is running
constexpr int ParseTime = 0x38;    // double: the last parse's time in milliseconds
constexpr int LockObject = 0x40;   // the parser's lock: a host object (virtual 0 Acquire, 1 Release)
constexpr int LockHandle = 4;      // in the lock object: its mutex
constexpr int LockCount = 0x50;    // locks held
constexpr int Size = 0x54;
}  // namespace ParseThreadLayout

namespace DocModuleLayout {
constexpr int Text = 4;    // char*, nil once the module was destroyed
constexpr int Length = 8;
constexpr int RaiseOnDestroy = 12;  // byte: NotifyDestroyed raises after freeing the text
constexpr int Size = 16;
}  // namespace DocModuleLayout

// A freed text is filled with this byte (and kept mapped until the parser is
// idle), so a parse still reading it sees the canary instead of faulting.
constexpr uint8_t FreedTextCanary = 0xDD;

}  // namespace CoreIde

extern "C" {
// The parse-thread variable (`@Parserthread@ParseThread`): nil while none runs.
extern void* coreide_ParseThread QM_HOST_SYMBOL(coreide_ParseThread);

void QM_HOST_REGISTER CoreIdeParseThreadParse(void* self) QM_HOST_SYMBOL(coreide_TParseThread_Parse);
void QM_HOST_REGISTER CoreIdeParseThreadLock(void* self) QM_HOST_SYMBOL(coreide_TParseThread_Lock);
void QM_HOST_REGISTER CoreIdeParseThreadUnlock(void* self) QM_HOST_SYMBOL(coreide_TParseThread_Unlock);
void QM_HOST_REGISTER CoreIdeParseThreadCancelAndLock(void* self) QM_HOST_SYMBOL(coreide_TParseThread_CancelAndLock);
double QM_HOST_REGISTER CoreIdeParseThreadDoParse(void* self) QM_HOST_SYMBOL(coreide_TParseThread_DoParse);
void QM_HOST_REGISTER CoreIdeNotifyDestroyed(void* self, void* intf, void* other) QM_HOST_SYMBOL(coreide_NotifyDestroyedBody);
}
