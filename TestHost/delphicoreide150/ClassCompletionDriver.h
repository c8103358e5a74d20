// Class completion's driver (delphicoreide150.bpl, ClassCompletion.cpp),
// declared once for the tests and bds.exe.
#pragma once

#include <windows.h>

#include <cstdint>

namespace ClassCompletionDriver {

namespace Export {
constexpr const char* ParseMethodOrAlias =
    "@Pasmgr@TPascalClassManager@ParseMethodOrAlias$qqrp19Pasmgr@TClassSymbol16Updaters@TAccess";
constexpr const char* ClassSymbolByPosition = "@Completers@TPascalClassCompleter@ClassSymbolByPosition$qqri";
constexpr const char* EnsureSection = "@Pasmgr@TPascalCodeUpdater@EnsureSection$qqrp19Pasmgr@TClassSymbol16Updaters@TAccessi";
constexpr const char* CompleteClass = "DelphiCompleteClass";
constexpr const char* ClassifyText = "DelphiClassifyText";
constexpr const char* IsReservedText = "DelphiIsReservedText";
constexpr const char* PatternSite = "DelphiCorePatternSite";
constexpr const char* PatternSites = "DelphiCorePatternSites";
}  // namespace Export

// Completes a class declaration ("TFoo = class(TParent)", then its members
// and access keywords, one per line, "end;" last): the declaration as it then
// reads and an implementation stub per completed method, into output (size
// bytes with the terminating zero); the full length.
using CompleteClassFn = int32_t(__stdcall*)(const char* declaration, char* output, int32_t size);
// The host's classifier and reserved-word test, called directly (not
// through class completion's call sites): the low byte of their answers.
using TextFn = uint32_t(__stdcall*)(const char* text);

template <class T>
T Bind(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
}

}  // namespace ClassCompletionDriver
