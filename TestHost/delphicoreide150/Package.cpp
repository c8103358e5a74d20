// Stand-in delphicoreide150.bpl: the package's entry points. Its units'
// state is set up statically, so Initialize and Finalize have nothing to do.
#include <windows.h>

extern "C" void __stdcall Initialize() {}
extern "C" void __stdcall Finalize() {}
