// The stand-in compiler's memory chunks and the release of unused ones,
// driver interface, declared once for bds.exe, delphicoreide150's compile,
// the tests and the benchmark.
#pragma once

#include <cstdint>

#include "Common/HostLayout.h"

namespace DccReleaseDriver {

namespace Export {
constexpr const char* Release = "DccReleaseUnusedMemory";  // the searched routine (no arguments)
constexpr const char* Compile = "DccMemCompile";
constexpr const char* Committed = "DccMemCommitted";
constexpr const char* Releases = "DccMemReleases";
constexpr const char* RaiseOnRelease = "DccMemRaiseOnRelease";
constexpr const char* Reset = "DccMemReset";
} // namespace Export

constexpr int32_t ChunkSize = 0x10000;

using ReleaseFn = void(QM_HOST_REGISTER*)();
// A compile: `blocks` blocks of 1,000 bytes from the compiler's chunks
// (new chunks committed as needed), then every block freed; the chunks stay
// committed. → a checksum of what the blocks held.
using CompileFn = uint32_t(__stdcall*)(int32_t blocks);
// Bytes of chunks committed now; chunks given back so far.
using CommittedFn = int32_t(__stdcall*)();
using ReleasesFn = int32_t(__stdcall*)();
// The n-th chunk released from now raises a host exception instead (0: never).
using RaiseOnReleaseFn = void(__stdcall*)(int32_t n);
// Everything given back and forgotten.
using ResetFn = void(__stdcall*)();

} // namespace DccReleaseDriver
