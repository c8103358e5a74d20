// Access to the IDE's modules.
#pragma once

#include <windows.h>

namespace Quillmend {

// Handle of "dcc150.dll", loaded on first use and kept loaded; 0 if it cannot be loaded.
HMODULE GetDccHandle();
// GetProcAddress; null when the export is missing. Raises nothing.
void* DbgStrictGetProcAddress(HMODULE module, const char* name);

} // namespace Quillmend
