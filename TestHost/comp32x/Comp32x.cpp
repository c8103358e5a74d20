// Stand-in comp32x.dll: the C++ compiler library, loaded on demand through
// bccide.dll's CppLoadCompiler.
#include <windows.h>

// The compiler's version number (6.30 for this IDE release).
extern "C" int __stdcall CompilerVersion() { return 0x0630; }
