// "Compiler.Linker.GenericsMatch": the linker's generics match table grows
// from 256 buckets chosen by a symbol's one-byte name hash to 131,072 chosen
// by Utf8HashText of its name, and its bump allocator is replaced by a copy
// without the alignment assertion that also takes the slow path when the
// request exceeds what is left.
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

constexpr uint32_t GenericsMatchBuckets = 0x20000;

// The bucket of a generic symbol (symbol record: name at 0x1E).
uint32_t GenericsBucketIndex(const char* name);
// The allocator's replacement: size bytes counted down from the current
// pointer; the compiler's slow path when that would pass the limit or wrap.
void* QM_REGISTER FastAlloc(uint32_t size);

std::vector<TPatchPlan> LinkerGenericsMatchPlans();
void InstallLinkerGenericsMatch();

extern const TUnitInfo Unit_CompilerLinkerGenericsMatchOptimization;

} // namespace Quillmend
