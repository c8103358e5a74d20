// Stand-in comp32x.dll: the C++ compiler library, loaded on demand through
// bccide.dll's CppLoadCompiler.
#include <windows.h>

#include <type_traits>

#include "Comp32xDriver.h"

// The compiler's version number (6.30 for this IDE release).
extern "C" int __stdcall CompilerVersion() { return 0x0630; }

static_assert(std::is_same_v<decltype(&CompilerVersion), Comp32xDriver::CompilerVersionFn>,
              "CompilerVersion differs from Comp32xDriver.h");
