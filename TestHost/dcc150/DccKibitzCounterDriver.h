// The stand-in compiler's code-insight compile, driver interface, declared
// once for the IDE packages, bds.exe's workloads and the tests: the export
// "CompilerGetUnitCmdLine", the counter of compiles that really ran, and
// the routines around it.
#pragma once

#include <cstdint>

#include "Common/HostLayout.h"

namespace DccKibitzCounterDriver {

namespace Export {
constexpr const char* GetUnitCmdLine = "CompilerGetUnitCmdLine";
constexpr const char* Compiles = "DccKibitzCompiles";  // DATA: the counter's variable
constexpr const char* Counter = "DccKibitzCounter";    // the counter routine
constexpr const char* LinesBefore = "DccLinesBefore";       // reads one variable, counts another
constexpr const char* Reset = "DccKibitzCompilesReset";
} // namespace Export

// function CompilerGetUnitCmdLine(UnitName: PAnsiChar; SourceVersion:
// Integer): Integer; stdcall (our choice of signature) — 1 when the unit was
// compiled for code insight (first time, or its source version differs from
// the one compiled last; only then is the counter routine reached), 0 when
// the last compile's result still holds.
using GetUnitCmdLineFn = int32_t(__stdcall*)(const char* unitName, int32_t sourceVersion);
// The counter routine: the counter's value, then the counter + 1.
using CounterFn = uint32_t(QM_HOST_REGISTER*)();
// Forgets every unit's compiled version and sets the counter to 0.
using ResetFn = void(__stdcall*)();

} // namespace DccKibitzCounterDriver
