// "VCL.TBitBtnDoubleBufferDefault": a bit button is double-buffered and not
// ParentDoubleBuffered from its creation, but its type information declares
// the opposite defaults, so every form file stores both properties for
// every button. The two 32-bit default fields of its property records are
// set to 1 (DoubleBuffered) and 0 (ParentDoubleBuffered), both in one plan:
// both are written or neither.
#pragma once

#include <cstdint>

#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The default field of the class's own published property of that name
// (ASCII case ignored) in its type information, or null.
int32_t* PublishedPropertyDefault(const void* classRef, const char* name);

TPatchPlan BitBtnDoubleBufferDefaultPlan();
void InstallBitBtnDefaultsFix();

extern const TUnitInfo Unit_BitBtnDefaultsFix;

} // namespace Quillmend
