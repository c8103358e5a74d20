// File-name comparison by the operating system's ordinal, case-folding
// comparison ("RTL.AnsiCompareFileName"): AnsiCompareFileName and
// SameFileName of the run-time library redirected. The ordinal comparison
// is resolved whatever the patch's state: the relative-path replacement
// compares with it too.
#pragma once

#include <vector>

#include <cstdint>
#include <windows.h>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// CompareStringOrdinal's signature: 1 less, 2 equal, 3 greater, 0 on a
// parameter error (last error 87); a negative length runs to the NUL.
using TOrdinalCompare = int(WINAPI*)(const wchar_t* s1, int length1, const wchar_t* s2, int length2, BOOL ignoreCase);

// kernel32's CompareStringOrdinal, else the emulation below (ntdll's
// RtlCompareUnicodeString), else null. Set by ResolveOrdinalCompare.
extern TOrdinalCompare OrdinalCompareProc;
void ResolveOrdinalCompare();

// CompareStringOrdinal on RtlCompareUnicodeString: null pointers or an
// ignore-case flag other than 0 and 1 give 0 and last error 87; compares in
// chunks of at most 0x7FF0 characters.
int WINAPI CompareStringOrdinalEmulation(const wchar_t* s1, int length1, const wchar_t* s2, int length2,
                                         BOOL ignoreCase);

// The replacements (host register convention). The empty string is nil in
// the host; it is compared as an empty text, so '' equals '' and sorts first.
int32_t QM_REGISTER AnsiCompareFileNameFast(const wchar_t* s1, const wchar_t* s2);
uint8_t QM_REGISTER SameFileNameFast(const wchar_t* s1, const wchar_t* s2);

TPatchPlan AnsiCompareFileNamePlan();
// The module's plans for the check (the comparison resolved first).
std::vector<TPatchPlan> IDEAnsiCompareFileNamePlans();
void InstallIDEAnsiCompareFileName();

extern const TUnitInfo Unit_IDEAnsiCompareFileName;

}  // namespace Quillmend
