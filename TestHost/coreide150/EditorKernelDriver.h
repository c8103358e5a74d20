// The editor kernel interface's driver (coreide150.bpl, EditorKernel.cpp),
// declared once for the tests, the benchmark and bds.exe: the host's exports
// and the stand-in's own helpers.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "Common/HostLayout.h"

namespace EditorKernelDriver {

namespace Export {
constexpr const char* EkEval = "@Edkrnl@EkEval$qqrr10Ek@TEkViewr9Ek@TEdCmd10TUndoGroup";
constexpr const char* WriteBlockToStream = "@Edkrnl@WriteBlockToStream$qqrp10Ek@TEkViewp15Classes@TStreamo";
constexpr const char* TextBlockSize = "@Edkrnl@TextBlockSize$qqrp10Ek@TEkViewo";
constexpr const char* NewView = "EkNewView";
constexpr const char* SetBlock = "EkSetBlock";
constexpr const char* SetCaret = "EkSetCaret";
constexpr const char* Flags = "EkFlags";
constexpr const char* SetFlags = "EkSetFlags";
constexpr const char* LineText = "EkLineText";
constexpr const char* Counts = "EkCounts";
constexpr const char* FreeView = "EkFreeView";
constexpr const char* NewCountingStream = "EkNewCountingStream";
constexpr const char* CountingStreamState = "EkCountingStreamState";
}  // namespace Export

// A command record (TEdCmd): kind 1 inserts Text at the caret; kind 2 fails (raises).
struct TEdCmd {
  uint16_t Kind;
  uint16_t Reserved;
  const char* Text;
};

struct Driver {
  // The host's: EAX = view record, EDX = command record, ECX = undo group; the result in AX.
  using EkEvalFn = uint16_t(QM_HOST_REGISTER*)(void* view, const void* command, int32_t undoGroup);
  // EAX = view, EDX = stream, ECX (8 bits) = a line break after the last line.
  using WriteBlockFn = void(QM_HOST_REGISTER*)(void* view, void* stream, uint32_t lineBreakAfterLast);
  using TextBlockSizeFn = int32_t(QM_HOST_REGISTER*)(void* view, uint32_t lineBreakAfterLast);
  // The stand-in's (stdcall): a view over a new buffer of lines ("\n" between them).
  using NewViewFn = void*(__stdcall*)(const char* text);
  using SetBlockFn = void(__stdcall*)(void* view, int first, int last);
  using SetCaretFn = void(__stdcall*)(void* view, int line, int column);
  using FlagsFn = uint32_t(__stdcall*)(void* view);
  using SetFlagsFn = void(__stdcall*)(void* view, uint32_t flags);
  using LineTextFn = const char*(__stdcall*)(void* view, int line);
  // Edits recorded for undo and edits the kernel made on its own.
  using CountsFn = void(__stdcall*)(void* view, int* undoRecords, int* automaticEdits);
  using FreeViewFn = void(__stdcall*)(void* view);
  // A stream that is no memory stream (it keeps only its size and position).
  using NewCountingStreamFn = void*(__stdcall*)();
  using CountingStreamStateFn = void(__stdcall*)(void* stream, int* size, int* position, int* written);

  EkEvalFn EkEval = nullptr;
  WriteBlockFn WriteBlockToStream = nullptr;
  TextBlockSizeFn TextBlockSize = nullptr;
  NewViewFn NewView = nullptr;
  SetBlockFn SetBlock = nullptr;
  SetCaretFn SetCaret = nullptr;
  FlagsFn Flags = nullptr;
  SetFlagsFn SetFlags = nullptr;
  LineTextFn LineText = nullptr;
  CountsFn Counts = nullptr;
  FreeViewFn FreeView = nullptr;
  NewCountingStreamFn NewCountingStream = nullptr;
  CountingStreamStateFn CountingStreamState = nullptr;

  bool Bind(HMODULE module) {
    bool ok = true;
    auto bind = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
          reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
      ok = ok && slot;
    };
    bind(EkEval, Export::EkEval);
    bind(WriteBlockToStream, Export::WriteBlockToStream);
    bind(TextBlockSize, Export::TextBlockSize);
    bind(NewView, Export::NewView);
    bind(SetBlock, Export::SetBlock);
    bind(SetCaret, Export::SetCaret);
    bind(Flags, Export::Flags);
    bind(SetFlags, Export::SetFlags);
    bind(LineText, Export::LineText);
    bind(Counts, Export::Counts);
    bind(FreeView, Export::FreeView);
    bind(NewCountingStream, Export::NewCountingStream);
    bind(CountingStreamState, Export::CountingStreamState);
    return ok;
  }
};

}  // namespace EditorKernelDriver
