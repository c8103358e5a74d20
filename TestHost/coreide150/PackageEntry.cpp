// The package's entry points, called by the IDE's package loader.
#include <windows.h>

#include "RtlImports.h"

extern "C" {

void __stdcall Initialize() { CoreIde::Rtl(); }

void __stdcall Finalize() {}

} // extern "C"
