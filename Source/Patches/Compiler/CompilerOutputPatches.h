// The compiler's output files and the file ages of its outdated check:
// "Compiler.MapFileBuffer" (the text write converts and writes through a
// large buffer), "Compiler.DrcFileBuffer" (the resource list gets a 64 KB
// file buffer), "Compiler.BackgroundCompilerFileExists" (the file-age query
// made thread aware) and the group "Compiler.SourceOutdated", whose children
// drop file-age queries the outdated check does not need. Installed by the
// compiler optimizations' procedure before the unit-list patches.
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/PatchPlan.h"
#include "Patches/Compiler/DccStructs.h"

namespace Quillmend {

// The run-time's write (cdecl: file, buffer, count → count written).
using THostWrite = int32_t(__cdecl*)(void* file, const void* buffer, uint32_t count);
extern THostWrite HostTextWrite;

// Bytes of the text write's output buffer.
constexpr uint32_t TextWriteBufferSize = 0x17FA6;

// Writes `length` bytes of `data` to `file`, each line feed as CR LF,
// through HostTextWrite one full buffer at a time. The input length when
// everything was written; after a short write the input bytes whose output
// was written in full (a line feed counts only when its CR and LF both
// were); -1 when nothing at all could be written.
int32_t QM_REGISTER WriteTextCrLf(const uint8_t* data, uint32_t length, void* file);

// Whether the outdated check must query a file's age: 0 when `name` is the
// unit's own source (its base name is the unit's whole name), which the check
// has aged already; 1 otherwise (also without a unit symbol or an extension).
uint32_t QM_REGISTER SkipOwnSource(const TDccUnit* unit, const char* name) asm("QmSkipOwnSource");

// The plans in installation order (the group, then its children).
std::vector<TPatchPlan> CompilerOutputPlans();
// Installs them, the group's children only when the group is enabled, the
// third child only where the second's pattern is found, the fourth only
// where it is not.
void InstallCompilerOutputPatches();

} // namespace Quillmend
