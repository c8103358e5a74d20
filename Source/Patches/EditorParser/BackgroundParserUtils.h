// The background parser as other patches ask about it (no patch of its own):
// the parse-thread variable and the offset of the thread's parsing flag,
// read out of TParseThread.Parse at unit initialization. When Parse does not
// hold the expected code, the pseudo-patch "IDE.BackgroundParserUtils" is
// listed as failed with the text "Could not get "Parsing: Boolean" offset".
// It also lets the user cancel kibitzing (TKibitzingMonitor's class variable
// FUserCanCancelKibitzing set to 1, put back at unload).
#pragma once

#include <cstdint>

#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

constexpr const wchar_t* BackgroundParserUtilsName = L"IDE.BackgroundParserUtils";

// Whether the background parser is parsing now: its thread's parsing flag;
// false while there is no parse thread or the flag's offset is unknown.
bool IsBackgroundParsing();
// The flag's offset in the parse thread, or -1.
int32_t BackgroundParsingFlagOffset();

TPatchPlan ParsingFlagPlan();
// The same for the check: where the offset is found, the helper is ignored
// (the about box does not list it); otherwise it fails with the same reason.
TPatchPlan ParsingFlagCheckPlan();
TPatchPlan UserCanCancelKibitzingPlan();
void InstallBackgroundParserUtils();

extern const TUnitInfo Unit_BackgroundParserUtils;

} // namespace Quillmend
