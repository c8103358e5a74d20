// The editor kernel's driver interface, declared once for bds.exe's
// workload, the tests and the benchmark: export names, function types and a
// binder for a loaded boreditu.dll. The module checks its definitions
// against these types (BracketMatching.cpp).
#pragma once

#include <windows.h>

#include "Common/SearchedSites.h"

namespace BorEditDriver {

namespace Export {
constexpr const char* MatchBracket = "BorEditMatchBracket";
constexpr const char* PatternSite = "BorEditPatternSite";
constexpr const char* PatternSites = "BorEditPatternSites";
} // namespace Export

// Text is 8-bit and zero-terminated; positions are indices into it.
struct Driver {
  // One bracket search from the caret (an index inside the text, as the
  // editor gives it): the index of the matching token, or -1 (no token at
  // the caret, or none found); *matchLength (may be null) receives the
  // matched token's length.
  using MatchBracketFn = int(__stdcall*)(const char* text, int caret, int* matchLength);
  // Where a searched pattern begins, by site name (ParanMatchingStart,
  // ParanMatchingCompare, ParanMatchingNesting, UndoGroupStart,
  // UndoGroupLoop, UndoRangeStart); null if unknown.
  using PatternSiteFn = void*(__stdcall*)(const char* site);
  using PatternSitesFn = const QmHost::SearchedSite*(__stdcall*)(int* count);

  MatchBracketFn MatchBracket = nullptr;
  PatternSiteFn PatternSite = nullptr;
  PatternSitesFn PatternSites = nullptr;

  bool Bind(HMODULE module) {
    MatchBracket = reinterpret_cast<MatchBracketFn>(reinterpret_cast<void*>(GetProcAddress(module, Export::MatchBracket)));
    PatternSite = reinterpret_cast<PatternSiteFn>(reinterpret_cast<void*>(GetProcAddress(module, Export::PatternSite)));
    PatternSites =
        reinterpret_cast<PatternSitesFn>(reinterpret_cast<void*>(GetProcAddress(module, Export::PatternSites)));
    return MatchBracket && PatternSite && PatternSites;
  }
};

// The undo list (UndoList.cpp): buffers of generated lines, groups of
// recorded edits, and the host's undo of a group through its undo routine.
namespace UndoExport {
constexpr const char* NewBuffer = "BorEditNewBuffer";
constexpr const char* RecordEdits = "BorEditRecordEdits";
constexpr const char* Undo = "BorEditUndo";
constexpr const char* SetUndoList = "BorEditSetUndoList";
constexpr const char* BufferChecksum = "BorEditBufferChecksum";
constexpr const char* UndoCounts = "BorEditUndoCounts";
constexpr const char* LineText = "BorEditLineText";
constexpr const char* FreeBuffer = "BorEditFreeBuffer";
} // namespace UndoExport

struct UndoDriver {
  // A buffer of `lines` generated lines (the same for the same seed).
  using NewBufferFn = void*(__stdcall*)(int lines, unsigned seed);
  // Records `count` edits of random lines; answers the first new entry's index.
  using RecordEditsFn = int(__stdcall*)(void* buffer, int count, unsigned seed);
  // The host's undo of entries first..last (inclusive; last < first: nothing).
  using UndoFn = void(__stdcall*)(void* buffer, int first, int last);
  // Whether the buffer keeps an undo list (without one the undo does nothing).
  using SetUndoListFn = void(__stdcall*)(void* buffer, int present);
  // FNV-1a over the text, the line index, the entries and the undo state.
  using ChecksumFn = unsigned(__stdcall*)(void* buffer);
  // Per-item routine calls, range routine calls and whole-buffer revalidations so far.
  using UndoCountsFn = void(__stdcall*)(void* buffer, int* itemCalls, int* rangeCalls, int* revalidations);
  using LineTextFn = const char*(__stdcall*)(void* buffer, int line);
  using FreeBufferFn = void(__stdcall*)(void* buffer);

  NewBufferFn NewBuffer = nullptr;
  RecordEditsFn RecordEdits = nullptr;
  UndoFn Undo = nullptr;
  SetUndoListFn SetUndoList = nullptr;
  ChecksumFn BufferChecksum = nullptr;
  UndoCountsFn UndoCounts = nullptr;
  LineTextFn LineText = nullptr;
  FreeBufferFn FreeBuffer = nullptr;

  bool Bind(HMODULE module) {
    auto get = [module](const char* name) { return reinterpret_cast<void*>(GetProcAddress(module, name)); };
    NewBuffer = reinterpret_cast<NewBufferFn>(get(UndoExport::NewBuffer));
    RecordEdits = reinterpret_cast<RecordEditsFn>(get(UndoExport::RecordEdits));
    Undo = reinterpret_cast<UndoFn>(get(UndoExport::Undo));
    SetUndoList = reinterpret_cast<SetUndoListFn>(get(UndoExport::SetUndoList));
    BufferChecksum = reinterpret_cast<ChecksumFn>(get(UndoExport::BufferChecksum));
    UndoCounts = reinterpret_cast<UndoCountsFn>(get(UndoExport::UndoCounts));
    LineText = reinterpret_cast<LineTextFn>(get(UndoExport::LineText));
    FreeBuffer = reinterpret_cast<FreeBufferFn>(get(UndoExport::FreeBuffer));
    return NewBuffer && RecordEdits && Undo && SetUndoList && BufferChecksum && UndoCounts && LineText && FreeBuffer;
  }
};

} // namespace BorEditDriver
