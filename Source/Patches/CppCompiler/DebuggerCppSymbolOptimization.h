// "Debugger.CppDebugSymbolReader": a cache in front of the C++ compiler's
// debug-symbol lookup. The lookup walks the current context's symbols by
// name; the cache answers repeated (context, flag, name) questions at once.
// Releasing a context that the cache refers to empties it (the release's
// load of the context's buffer becomes a call of the invalidation routine),
// and while the debugger's GetDebugHook runs, System's debug-hook names are
// answered 0 without a lookup.
#pragma once

#include <cstdint>

#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"
#include "Patches/CppCompiler/DebugSymbolCache.h"

namespace Quillmend {

// The debugger's TNativeProcess.GetDebugHook.
constexpr const wchar_t* DebuggerPackage = L"win32debugide150.bpl";
constexpr const char* GetDebugHookExport = "@Win32debug@TNativeProcess@GetDebugHook$qqrv";

// The current context's fields that must both be set for the lookup to answer.
namespace CppSymbolContextLayout {
constexpr int Loaded = 192;
constexpr int HasDebugInfo = 300;
constexpr int Buffer = 0xB8;
}  // namespace CppSymbolContextLayout

// "@System@DebugHook" or "@System@_DebugHook": a second "@" after the
// first character, "@System" before it, one of the two names after it.
bool IsDebugHookName(const char* name);

// The cache of the current compiler load (null before the first install),
// and how its lookups went since then.
TDebugSymbolCache* CppDebugSymbolCache();
struct TCppSymbolLookupCounts {
  uint64_t Hits = 0;
  uint64_t Misses = 0;
};
TCppSymbolLookupCounts CppSymbolLookupCounts();

// Called by the invalidation routine with the released context (cdecl).
extern "C" void QmCppSymbolContextReleased(const void* context) noexcept;
// The invalidation routine: keeps every register but EDX and ends with the
// replaced "mov edx,[eax+0xB8]" (SymbolCacheInvalidation.S).
extern "C" void QmCppSymbolCacheInvalidation();

TPatchPlan DebuggerCppSymbolOptimizationPlan();
void InstallDebuggerCppSymbolOptimization();

extern const TUnitInfo Unit_DebuggerCppSymbolOptimization;

}  // namespace Quillmend
