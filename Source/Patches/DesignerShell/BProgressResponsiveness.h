// "IDE.Compile.BProgress": the compiler reports its progress through
// BPROGRESS many times per file, and every call redraws the progress form,
// while no window message is processed: the IDE does not respond during a
// compile and its Cancel button cannot be pressed. On the main thread,
// while a progress monitor watches and no preparation runs, calls for the
// file and kind of the previous one within 80 ms do not reach the host
// (only the cancellation is taken), and the cancel variable's exchange
// inside the host's BPROGRESS processes pending messages at most every
// 80 ms; a click on Cancel, a cancelled monitor or the cancel variable end
// the compile.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

constexpr DWORD ProgressThrottleMs = 80;

// BPROGRESS (pascal: kind, file name, two integers; declared in reverse).
using TBProgress = int32_t(__stdcall*)(int32_t second, int32_t first, const char* fileName, int32_t kind);
using TProgressFormMethod = void(QM_REGISTER*)(void* form, void* sender);
using TCancelExchange = LONG(__stdcall*)(volatile LONG* target, LONG value);
extern TBProgress OrgBProgress;
extern TProgressFormMethod OrgProgressFormShow;
extern TProgressFormMethod OrgProgressCancelClick;
extern TCancelExchange OrgCancelExchange;

int32_t __stdcall BProgressReplacement(int32_t second, int32_t first, const char* fileName, int32_t kind);
void QM_REGISTER ProgressFormShowReplacement(void* form, void* sender);
void QM_REGISTER ProgressCancelClickReplacement(void* form, void* sender);
LONG __stdcall CancelExchangeWrapper(volatile LONG* target, LONG value);

TPatchPlan CompileBProgressPlan();
void InstallBProgressResponsiveness();

extern const TUnitInfo Unit_BProgressResponsiveness;

} // namespace Quillmend
