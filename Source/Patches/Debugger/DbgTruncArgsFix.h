// "Debugger.wsprintf.truncargs": the debugger kernel (bordbk150N.dll)
// formats a debuggee's command line with wsprintfA("%c%s%c %s"), which stops
// at 1,024 characters. The kernel's import slot of wsprintfA leads to a
// replacement that writes that format itself without the limit; every
// other format goes on to wsprintfA's own formatting. Installed at the
// expert entry.
#pragma once

#include <cstdarg>
#include <vector>

#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The longest text the replacement writes, its terminating zero included:
// the longest command line CreateProcessW takes, and the kernel's buffer.
constexpr int LongestCommandLine = 32767;

// wsprintfA as the kernel calls it (cdecl, variable arguments). For the
// format "%c%s%c %s" (exactly: "%C" and "%S" are wide) with two strings whose text fits
// LongestCommandLine: the character, the first string, the second
// character, a blank, the second string and a zero; the characters
// written without the zero are answered. Anything else (another format, a
// nil format or string, a longer text) goes to wvsprintfA with the
// caller's argument list.
int __cdecl FormatCommandLine(char* buffer, const char* format, ...);
// The same with an argument list.
int FormatCommandLineV(char* buffer, const char* format, va_list args);
// Whether a format is the kernel's command-line format, "%c%s%c %s".
bool IsCommandLineFormat(const char* format);

std::vector<TPatchPlan> DbgTruncArgsFixPlans();
void InstallDbgTruncArgsFix();
bool DbgTruncArgsFixHoldsKernel();

extern const TUnitInfo Unit_DbgTruncArgsFix;

}  // namespace Quillmend
