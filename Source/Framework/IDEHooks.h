// Access to the IDE's modules.
#pragma once

#include <windows.h>

namespace Quillmend {

// Handle of "dcc150.dll", loaded on first use and kept loaded; 0 if it cannot
// be loaded. Under a custom plan module resolver: that resolver's answer.
HMODULE GetDccHandle();
// GetProcAddress (ResolvePlanExport: the check tool's export lookup under
// its resolver); null when the export is missing. Raises nothing.
void* DbgStrictGetProcAddress(HMODULE module, const char* name);

} // namespace Quillmend
