// comp32x.dll's interface for bds.exe, the tests, the benchmarks and the
// other stand-in modules. The searched routines are exported under their own
// names (cdecl); the driver's own exports are stdcall. The module checks its
// definitions against the types here.
#pragma once

#include <cstdint>
#include <type_traits>
#include <windows.h>

namespace Comp32xDriver {

namespace Export {
constexpr const char* CompilerVersion = "CompilerVersion";
constexpr const char* SymbolLookup = "Comp32xSymbolLookup";
} // namespace Export

// The compiler's version number.
using CompilerVersionFn = int(__stdcall*)();

struct TNameRecord {  // what the symbol lookup is given: the name's text first
  const char* Text;
  uint32_t Length;
};

struct TChainStats {
  uint32_t Nodes;     // nodes in the name table
  uint32_t NonEmpty;  // buckets holding at least one
  uint32_t Longest;   // longest chain
};

struct TDriver {
  // The searched routines (cdecl): what the compiler itself calls.
  void*(__cdecl* InternName)(const char* name);
  int32_t(__cdecl* SymbolLookup)(const TNameRecord* name, int32_t flag);
  void(__cdecl* ReleaseContext)();
  int32_t(__cdecl* Stricmp)(const char* a, const char* b);
  int32_t(__cdecl* ScanIntSuffix)(const char* text);
  int32_t(__cdecl* Ltolower)(int32_t c);

  // Interns each name through the intern function; FNV checksum of the
  // returned nodes' creation serials.
  uint32_t(__stdcall* InternMany)(const char* const* names, int32_t count);
  // Empties the name table (the nodes' memory stays) and resets the serials.
  void(__stdcall* ResetNames)();
  void(__stdcall* ChainStats)(TChainStats* stats);
  // Creation serial of a node the intern function returned.
  uint32_t(__stdcall* NodeSerial)(const void* node);

  // A context with `symbols` random C-like symbols (flags 0..3, distinct
  // non-zero values), and single steps.
  void*(__stdcall* NewContext)(int32_t symbols, uint32_t randomSeed);
  void(__stdcall* AddSymbol)(void* context, const char* name, uint32_t flags, int32_t value);
  const char*(__stdcall* SymbolName)(const void* context, int32_t index);  // null past the end
  void(__stdcall* SetCurrentContext)(void* context);
  // The context's fields at 192 and 300 (the lookup answers only while both are set).
  void(__stdcall* SetContextFields)(void* context, uint32_t at192, uint32_t at300);
  int32_t(__stdcall* LiveContexts)();
  // Looks a name up through the symbol lookup (a name record on the stack).
  int32_t(__stdcall* Lookup)(const char* name, int32_t flag);

  // Calls of the locale helpers (is-lower, to-upper, ltolower's own) so far.
  uint32_t(__stdcall* LocaleHelperCalls)();
  // Field 8 of the locale record: ltolower uses its table while non-zero.
  void(__stdcall* UseLocaleTable)(int32_t use);
  // Sum-style checksum of ScanIntSuffix over the texts.
  uint32_t(__stdcall* ScanSuffixes)(const char* const* texts, int32_t count);

  // Where a searched routine's bytes begin (site names as in TestHost/README.md).
  void*(__stdcall* PatternSite)(const char* site);

  // The compiler's variables.
  uint32_t* NameHash;
  uint32_t* NameLength;
  void** NameTable;  // 32768 buckets
  void** CurrentContext;
  uint8_t* LowerTable;
};

// Binds the driver to a loaded comp32x.dll; false when an export is missing.
inline bool Bind(HMODULE module, TDriver& d) {
  bool ok = module != nullptr;
  auto get = [&](auto& slot, const char* name) {
    FARPROC p = module ? GetProcAddress(module, name) : nullptr;
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(reinterpret_cast<void*>(p));
    ok = ok && p;
  };
  get(d.InternName, "Comp32xInternName");
  get(d.SymbolLookup, Export::SymbolLookup);
  get(d.ReleaseContext, "Comp32xReleaseContext");
  get(d.Stricmp, "Comp32xStricmp");
  get(d.ScanIntSuffix, "Comp32xScanIntSuffix");
  get(d.Ltolower, "Comp32xLtolower");
  get(d.InternMany, "Comp32xInternMany");
  get(d.ResetNames, "Comp32xResetNames");
  get(d.ChainStats, "Comp32xChainStats");
  get(d.NodeSerial, "Comp32xNodeSerial");
  get(d.NewContext, "Comp32xNewContext");
  get(d.AddSymbol, "Comp32xAddSymbol");
  get(d.SymbolName, "Comp32xSymbolName");
  get(d.SetCurrentContext, "Comp32xSetCurrentContext");
  get(d.SetContextFields, "Comp32xSetContextFields");
  get(d.LiveContexts, "Comp32xLiveContexts");
  get(d.Lookup, "Comp32xLookup");
  get(d.LocaleHelperCalls, "Comp32xLocaleHelperCalls");
  get(d.UseLocaleTable, "Comp32xUseLocaleTable");
  get(d.ScanSuffixes, "Comp32xScanSuffixes");
  get(d.PatternSite, "Comp32xPatternSite");
  get(d.NameHash, "Comp32xNameHash");
  get(d.NameLength, "Comp32xNameLength");
  get(d.NameTable, "Comp32xNameTable");
  get(d.CurrentContext, "Comp32xCurrentContext");
  get(d.LowerTable, "Comp32xLowerTable");
  return ok;
}

// Environment variable read when comp32x.dll loads: that many names
// ("preloaded0", "preloaded1", ...) are interned at once.
constexpr const wchar_t* InternAtLoadVariable = L"Comp32xInternAtLoad";

}  // namespace Comp32xDriver
