// Access to the stand-in compiler library from the tests: loading it (or one
// of its re-encoded variants), its driver exports, its code bytes, and
// installing the pack's compiler patches with a set of them disabled.
#pragma once

#include <cstdint>
#include <string>
#include <vector>
#include <windows.h>

#include "Patches/Compiler/CompilerOptimization.h"
#include "dcc150/DccDriver.h"

namespace StandIn {

using Quillmend::TDccUnit;

// The stand-in's driver interface, unit records, memory contexts and symbols
// seen through the pack's layout.
using TDriver = DccDriver::Driver<TDccUnit, Quillmend::TDccContext, Quillmend::TDccSymbol>;

// The compiler's variables the memory and lookup tests read and set.
struct TVariables {
  TDccUnit** UnitListHead;
  TDccUnit** CurrentUnit;
  Quillmend::TDccContext** Contexts;  // the three context chains' heads
  Quillmend::TDccContext** ScratchContexts;
  Quillmend::TDccContext** TableContexts;
  Quillmend::TDccZone** FreeDescriptors;
  Quillmend::TDccZone** FreeRanges;
  Quillmend::TDccSymbol** ScopeOwner;  // the scope lookup's owner and units
  TDccUnit** ScopeUnits;
  int32_t* ScopeCount;
};

// <build>/host/dcc150.dll, or <build>/host-variants/<variant>/dcc150.dll.
std::wstring ModulePath(const char* variant = nullptr);
// Loads that library and binds its driver exports.
HMODULE Load(const char* variant = nullptr);
// Binds the driver to the dcc150.dll already loaded (by the three-way harness).
HMODULE BindLoaded();
const TDriver& Driver();
const TVariables& Variables();

// Writes a 32-bit value into the loaded stand-in compiler's code at a
// routine's searched site + offset: a compiler build whose record layout,
// variables or code differ where no byte pattern looks. Needs no bound driver.
void AlterOperand(const char* site, int32_t offset, uint32_t value);
// The address of an export of the loaded stand-in (a variable, say).
uint32_t ExportAddress(const char* name);

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

// The workload with the unit-of-address and symbol phases, as bds.exe runs
// it (smaller): every phase's checksum, in order, as text.
struct TQuestionCounts {
  int UnitOf, Symbols;
};
std::string RunQuestionWorkload(int units, int imports, uint32_t randomSeed, TQuestionCounts counts);

} // namespace StandIn
