// "Compiler.ReleaseUnusedMemory": the compiler has a routine that gives
// memory chunks it no longer uses back to the system, but never calls it
// during a run, so its memory stays as large as its largest compile. The
// routine goes into a list of release procedures; the first one added
// installs "Compiler.ReleaseUnusedMemory.IDE", which runs the list after
// every compile (TCompiler.CompilerCompile) and every object the debuggee
// deleted (TDebugKernel.ntfyProcObjectDeleted), under the compiler lock.
// Installed at the expert entry.
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

namespace ReleaseUnusedMemoryPatterns {
inline constexpr const char* Release =
    "53 56 57 55 51 83 3D ?? ?? ?? ?? 00 0F 84 D4 00 00 00 C7 04 24 ?? ?? ?? ?? 8B 35 ?? ?? ?? ?? 85 F6 0F 84 BF 00 "
    "00 00 8B 7E 08 8B 1D ?? ?? ?? ?? 03 7E 04 85 DB B8 ?? ?? ?? ?? 0F 84 95 00 00 00 8B 4E 08 8B 53 08 3B CA 72 7F "
    "8B EA 03 6B 04 3B FD 77 76 3B CA 75 1E";
} // namespace ReleaseUnusedMemoryPatterns

namespace ReleaseUnusedMemoryExports {
inline constexpr const wchar_t* DelphiCoreIde = L"delphicoreide150.bpl";
inline constexpr const wchar_t* DbkDebugIde = L"dbkdebugide150.bpl";
inline constexpr const char* CompilerCompile = "@Compiler@TCompiler@CompilerCompile$qqrv";
inline constexpr const char* ProcObjectDeleted = "@Debug@TDebugKernel@ntfyProcObjectDeleted$qqrpv";
} // namespace ReleaseUnusedMemoryExports

// A release procedure (host register convention, no arguments).
using TReleaseProc = void(QM_REGISTER*)();
// Adds a procedure; the first one installs the IDE hooks.
void AddReleaseProc(TReleaseProc proc);
// Every listed procedure, between the compiler lock's Lock and UnLock
// (UnLock also when one raises).
void RunReleaseProcs();

std::vector<TPatchPlan> CompilerDbkReleaseUnusedMemoryPlans();
void InstallCompilerDbkReleaseUnusedMemory();

extern const TUnitInfo Unit_CompilerDbkReleaseUnusedMemory;

} // namespace Quillmend
