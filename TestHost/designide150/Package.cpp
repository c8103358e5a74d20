// The package's entry points. Its classes are built at start-up, so
// Initialize and Finalize have nothing to do.
#include <windows.h>

extern "C" void __stdcall Initialize() {}
extern "C" void __stdcall Finalize() {}
