// comp32x.dll's interface for bds.exe and the tests.
#pragma once

namespace Comp32xDriver {

namespace Export {
constexpr const char* CompilerVersion = "CompilerVersion";
} // namespace Export

// The compiler's version number.
using CompilerVersionFn = int(__stdcall*)();

} // namespace Comp32xDriver
