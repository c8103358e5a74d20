// Access to the stand-in compiler library from the tests: loading it (or one
// of its re-encoded variants), its driver exports, its code bytes, and
// installing the pack's compiler patches with a set of them disabled.
#pragma once

#include <cstdint>
#include <string>
#include <vector>
#include <windows.h>

#include "Patches/Compiler/CompilerOptimization.h"

namespace StandIn {

using Quillmend::TDccUnit;

struct TDriver {
  int(__stdcall* LoadProject)(int units, int imports, uint32_t randomSeed);
  int(__stdcall* MarkOutdated)(int percent, uint32_t randomSeed);
  void(__stdcall* Reset)();
  int(__stdcall* Recompile)();
  void(__stdcall* FreeAll)();
  uint32_t(__stdcall* Checksum)();
  int(__stdcall* UnitCount)();
  TDccUnit*(__stdcall* NewUnit)(const char* name, uint32_t serial, int state, int flags, int withSymbols);
  void(__stdcall* GiveSymbols)(TDccUnit* unit);
  int(__stdcall* Import)(TDccUnit* unit, const char* name);
  TDccUnit*(__stdcall* NewRecord)(int list, const char* name, uint32_t serial, int state);
  TDccUnit*(__stdcall* AppendChain)(const char* const* names, int count, uint32_t serial);
  void(__stdcall* SetOption)(int index, const char* value);
  void*(__stdcall* PatternSite)(const char* routine);
  // The unit-free routine raises a host exception when next asked to free this unit.
  void(__stdcall* RaiseOnFree)(TDccUnit* unit);
  // The compiler's own routines, host register convention.
  TDccUnit* QM_REGISTER (*UnitFind)(const char* name);
  int QM_REGISTER (*UnitRemove)(TDccUnit* unit);
  void QM_REGISTER (*UnitAppend)(TDccUnit* unit);
  void QM_REGISTER (*UnlinkImports)(TDccUnit* unit);
  int QM_REGISTER (*AfterCompile)(int projectChanged, int explicitBuild);
};

// <build>/host/dcc150.dll, or <build>/host-variants/<variant>/dcc150.dll.
std::wstring ModulePath(const char* variant = nullptr);
// Loads that library and binds its driver exports.
HMODULE Load(const char* variant = nullptr);
// Binds the driver to the dcc150.dll already loaded (by the three-way harness).
HMODULE BindLoaded();
const TDriver& Driver();

// Copy of the library's code section.
std::vector<uint8_t> CodeBytes();
// Bytes at a routine's searched site (from `before` bytes earlier, `count` bytes).
std::vector<uint8_t> SiteBytes(const char* routine, int before, int count);

// Runs InstallCompilerOptimization with "Quillmend.DisabledPatches" set.
void Install(const std::wstring& disabledPatches = L"");
// "applied", "failed", "ignored", or "" when the patch is not registered.
std::wstring PatchStatus(const std::wstring& name);

// Checksums of one workload run: after loading, after the reset, after the
// recompile, after freeing all.
struct TWorkloadResult {
  uint32_t Loaded, Reset, Recompiled, Freed;
  int UnitsLoaded, UnitsAfterReset;
  bool operator==(const TWorkloadResult& o) const {
    return Loaded == o.Loaded && Reset == o.Reset && Recompiled == o.Recompiled && Freed == o.Freed &&
           UnitsLoaded == o.UnitsLoaded && UnitsAfterReset == o.UnitsAfterReset;
  }
};
TWorkloadResult RunWorkload(int units, int imports, uint32_t randomSeed);

} // namespace StandIn
