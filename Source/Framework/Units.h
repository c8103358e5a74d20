// Units of the library: initialization and finalization procedures run once
// each, in link order at load and in reverse order at unload.
#pragma once

#include <cstddef>

namespace Quillmend {

struct TUnitInfo {
  const char* Name;
  void (*Initialize)();  // may be null
  void (*Finalize)();    // may be null
};

// The patch modules of one build of Quillmend.dll, in link order. The shipped
// set is Source/Patches/PatchUnits.cpp; test builds link their own table.
extern const TUnitInfo* const PatchUnits[];
extern const size_t PatchUnitCount;

} // namespace Quillmend
