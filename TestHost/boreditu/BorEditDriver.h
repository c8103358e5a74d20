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
  // ParanMatchingCompare, ParanMatchingNesting); null if unknown.
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

} // namespace BorEditDriver
