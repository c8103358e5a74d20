// The stand-in compile progress (coreide150.bpl, units Cominout and
// Comprgrs), declared once for the stand-in, the tests and the benchmarks.
//
// `@COMINOUT@BPROGRESS$Q18COMPINTF@TPROGKINDPCII` (pascal convention: kind,
// an 8-bit file name, two integers pushed in this order, the callee pops →
// EAX): the compiler's progress callback. It counts the call, answers 1 at
// once when the progress monitor (`@Cominout@ProgressMonitor`, a
// TKibitzingMonitor or nil) is cancelled, shows the file and numbers on the
// progress form, then takes the cancel variable with
// InterlockedExchange(var, 0) (the call at +7 of the searched bytes, the
// variable's address at +3) and answers what it held. It never processes
// window messages (**the fault**: the IDE does not respond during a
// compile, its Cancel button cannot be pressed, and every call redraws the
// form, however many come for one file).
// TProgressForm (`@Comprgrs@TProgressForm@`, over vcl150's TCustomForm,
// 0x390 bytes): +0x300 the file shown (8-bit, 63 characters), +0x340 how
// often it was redrawn, +900 options (bit value 8: the compile may be
// cancelled from it). `@Comprgrs@ProgressForm` holds the form shown (or
// nil). `…FormShow$qqrp14System@TObject` (EAX = form, EDX = sender) counts;
// `…CancelButtonClick$qqrp14System@TObject` sets the cancel variable to 1
// and counts. `@Cominout@Preparing` (a Boolean): a compiler preparation runs.
// Both methods and BPROGRESS start as the host's compiler starts a routine.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "Common/HostLayout.h"

namespace CompileProgressDriver {

namespace Export {
constexpr const char* BProgress = "@COMINOUT@BPROGRESS$Q18COMPINTF@TPROGKINDPCII";
constexpr const char* FormShow = "@Comprgrs@TProgressForm@FormShow$qqrp14System@TObject";
constexpr const char* CancelButtonClick = "@Comprgrs@TProgressForm@CancelButtonClick$qqrp14System@TObject";
constexpr const char* ProgressFormClass = "@Comprgrs@TProgressForm@";
constexpr const char* ProgressForm = "@Comprgrs@ProgressForm";
constexpr const char* Preparing = "@Cominout@Preparing";
constexpr const char* ProgressMonitor = "@Cominout@ProgressMonitor";
// Driver (stdcall).
constexpr const char* Begin = "CompileBegin";
constexpr const char* Files = "CompileFiles";
constexpr const char* End = "CompileEnd";
constexpr const char* Counts = "CompileCounts";
constexpr const char* SetState = "CompileSetState";
}  // namespace Export

namespace ProgressFormLayout {
constexpr int FileName = 0x300, Redraws = 0x340, Options = 900, Size = 0x390;
constexpr std::uint32_t Cancellable = 8;
}
enum TProgKind : std::int32_t { pkCompiling = 1, pkLinking = 2 };

// Pascal: the arguments declared in reverse.
using BProgressFn = std::int32_t(__stdcall*)(std::int32_t total, std::int32_t line, const char* fileName,
                                             std::int32_t kind);
using FormMethodFn = void(QM_HOST_REGISTER*)(void* form, void* sender);

// A compile begins: the progress form made (options as given) and shown
// through FormShow, the progress monitor set (cancelled or not).
using BeginFn = void(__stdcall*)(int options, int monitorCanceled);
// `files` files ("Unit<n>.pas") of `calls` progress calls each, sleeping
// `sleepMs` after each; before call number `clickAt` (counted from 0; -1:
// never) a click on Cancel is queued for the next message pump → the files
// finished before BPROGRESS answered non-zero (all: none did).
using FilesFn = int(__stdcall*)(int files, int calls, int sleepMs, int clickAt);
// The compile ends: the form freed, the monitor cleared; clicks still queued dropped.
using EndFn = void(__stdcall*)();
// The original BPROGRESS's calls, the form's redraws, Cancel clicks and shows since the process began.
using CountsFn = void(__stdcall*)(int* originals, int* clicks, int* shows);
// Preparing, and the monitor's cancellation (-1: left as it is).
using SetStateFn = void(__stdcall*)(int preparing, int monitorCanceled);

struct Driver {
  BProgressFn BProgress = nullptr;
  FormMethodFn FormShow = nullptr;
  FormMethodFn CancelButtonClick = nullptr;
  BeginFn Begin = nullptr;
  FilesFn Files = nullptr;
  EndFn End = nullptr;
  CountsFn Counts = nullptr;
  SetStateFn SetState = nullptr;

  bool Bind(HMODULE module) {
    auto bind = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
          reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
      return slot != nullptr;
    };
    bool ok = bind(BProgress, Export::BProgress);
    ok = bind(FormShow, Export::FormShow) && ok;
    ok = bind(CancelButtonClick, Export::CancelButtonClick) && ok;
    ok = bind(Begin, Export::Begin) && ok;
    ok = bind(Files, Export::Files) && ok;
    ok = bind(End, Export::End) && ok;
    ok = bind(Counts, Export::Counts) && ok;
    return bind(SetState, Export::SetState) && ok;
  }
};

}  // namespace CompileProgressDriver
