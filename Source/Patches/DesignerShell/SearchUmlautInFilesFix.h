// "IDE.SearchUmlautInFiles": search in files makes its search string by
// labelling the dialog's 8-bit text (in the system's ANSI code page) as
// UTF-8 without converting it, so a text with non-ASCII letters is no valid
// UTF-8 and is never found. The call that makes the string is retargeted to
// a replacement that converts the text from the ANSI code page to UTF-8
// first.
#pragma once

#include <cstdint>
#include <string>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The run-time's LStrFromPChar (var Dest: AnsiString; Source: PAnsiChar; CodePage: Word).
using TLStrFromPChar = char**(QM_REGISTER*)(char** dest, const char* text, uint32_t codePage);
extern TLStrFromPChar OrgLStrFromPChar;
char** QM_REGISTER SearchTextReplacement(char** dest, const char* text, uint32_t codePage);

// The text (zero-terminated, in the system's ANSI code page) as UTF-8.
std::string AnsiToUtf8(const char* text);

TPatchPlan SearchUmlautInFilesPlan();
void InstallSearchUmlautInFilesFix();

extern const TUnitInfo Unit_SearchUmlautInFilesFix;

} // namespace Quillmend
