// "IDE.CompToolbarSpeed": while the component tool bar fills its tabs, the
// group of every component is looked up in a dictionary filled once from
// the palette (ToolbarGroupNames) instead of walking the palette per item.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// Equality ignoring ASCII case, hash UnicodeHashTextI (TSameTextComparer).
struct TSameTextComparer {
  size_t operator()(const std::wstring& key) const;
  bool operator()(const std::wstring& a, const std::wstring& b) const;
};

std::vector<TPatchPlan> CompToolbarSpeedFixPlans();
void InstallCompToolbarSpeedFix();

extern const TUnitInfo Unit_CompToolbarSpeedFix;

}  // namespace Quillmend
