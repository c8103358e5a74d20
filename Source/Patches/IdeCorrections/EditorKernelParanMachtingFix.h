// "IDE.Editor.ParanMatching": the editor kernel's bracket matching made
// aware of string literals. The host's search loop keeps running; three of
// its calls (the sought token's length before the loop, the comparison with
// the sought token, the nesting comparison) reach adapters that read the
// host's frame and hand the decisions to the start check, compare A and
// compare B, which track Pascal literals ('...' with '' inside) and C
// literals ("..." and '...' with backslash escapes). A search that starts on
// a comment delimiter runs as the host's own.
#pragma once

#include <cstdint>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// Literal state of the one search that runs at a time (the editor searches
// on the main thread). Byte flags.
extern uint8_t InSingleQuote;     // the scan is inside a '...' literal
extern uint8_t InDoubleQuote;     // the scan is inside a "..." literal
extern uint8_t SkipNextPosition;  // the next position belongs to an escape and must not match
extern uint8_t CommentBracket;    // the search started on a comment delimiter: no string tracking

// The host's routines the calls reached before (C convention, caller pops).
using TOrgTokenLength = int32_t(__cdecl*)(const char* token);
using TOrgTokenCompare = int32_t(__cdecl*)(const char* text, const char* token, int32_t length);  // 0: equal
extern TOrgTokenLength OrgTokenLength;
extern TOrgTokenCompare OrgTokenCompare;
// The run-time library's StrLComp (host register convention).
using THostStrLComp = int32_t QM_REGISTER (*)(const char* str1, const char* str2, uint32_t maxLen);
extern THostStrLComp HostStrLComp;

// The replacements the adapters call (C convention). `position` points at
// the host's current-position variable; first and last bound the text
// (inclusive); direction is the host's, widened from 16 bits.
int32_t __cdecl ParanStartCheck(const char* hostArgument, const char** position, const char* first,
                                const char* last, int32_t direction) asm("QmParanStartCheck");
int32_t __cdecl ParanCompareA(int32_t length, const char* token, const char* at, const char* first,
                              const char* last, int32_t direction) asm("QmParanCompareA");
int32_t __cdecl ParanCompareB(int32_t length, const char* token, const char* at, const char* first,
                              const char* last) asm("QmParanCompareB");

TPatchPlan ParanMatchingPlan();
// The wizard-init procedure installing "IDE.Editor.ParanMatching".
void InstallEditorKernelParanMachtingFix();

extern const TUnitInfo Unit_EditorKernelParanMachtingFix;

} // namespace Quillmend
