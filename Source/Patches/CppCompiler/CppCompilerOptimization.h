// "CppCompiler.Optimizations": the C++ compiler's identifier interning with
// a real hash. The compiler's own intern function hashes names weakly into
// its 32768-bucket name table, so its chains grow long; the replacement
// hashes every byte through a table of random values and compares cheaply.
#pragma once

#include <cstdint>

#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The compiler's name node: next (0), 32-bit at 4, 32-bit at 12, byte at 16,
// the length byte at 17 and the name's bytes from 18.
namespace CppNameNodeLayout {
constexpr int Next = 0;
constexpr int Field4 = 4;
constexpr int Field12 = 12;
constexpr int Field16 = 16;
constexpr int Length = 17;
constexpr int Name = 18;
constexpr uint32_t Overhead = 19;     // a node is length + 19 bytes (the name's zero byte included)
constexpr uint32_t AllocatorTag = 250;
}  // namespace CppNameNodeLayout

constexpr int CppNameBuckets = 32768;
// The longest name the replacement interns itself: its unescaped copy fits
// a 256-byte buffer and its length the node's length byte. Longer names go to
// the compiler's own intern function.
constexpr uint32_t CppLongestInternedName = 255;

// The replacement's hash of an unescaped, zero-terminated name.
uint32_t CppInternHash(const uint8_t* name);

// The patch's plan; the procedure on the C++-compiler-init queue installs it
// when comp32x.dll is loaded.
TPatchPlan CppCompilerOptimizationPlan();
void InstallCppCompilerOptimization();

extern const TUnitInfo Unit_CppCompilerOptimization;

}  // namespace Quillmend
