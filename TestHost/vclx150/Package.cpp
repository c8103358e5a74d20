// Stand-in vclx150.bpl: the package's entry points. Its class is built when
// the module starts, so Initialize and Finalize have nothing to do.
#include <windows.h>

extern "C" void __stdcall Initialize() {}
extern "C" void __stdcall Finalize() {}
