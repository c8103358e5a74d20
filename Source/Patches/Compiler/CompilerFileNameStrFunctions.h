// "Compiler.FileNameStringFunctions": the compiler's four file-name routines
// answer from the end of the text. The host's routines walk every file name
// from its start, a character at a time through the lead-byte table, to find
// the last dot or delimiter; the replacements look backwards from the end
// and stop at the first one. '\', '/' and ':' are the compiler's delimiters
// (the library's own file-name helpers know only the first two). Installed
// at the expert entry.
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

namespace FileNameStrPatterns {
// Searched in this order, each from the one before: the first up to 16 MB
// from the library's base, the others within Window bytes.
inline constexpr int32_t Window = 0x2000;
// X1 (text, length → the length without extension), the whole routine.
inline constexpr const char* BaseNameLength =
    "53 56 57 55 8B E8 8B DD 8D 34 1A 8B FE 3B F3 76 3B 8A 03 3C 2E 75 04 8B FB EB 12 3C 3A 75 04 8B FE EB 0A 3C 5C "
    "74 04 3C 2F 75 02 8B FE 33 C0 8A 03 80 B8 ?? ?? ?? ?? 00 74 09 8B C3 E8 ?? ?? ?? ?? EB 03 8D 43 01 8B D8 3B F3 "
    "77 ?? 8B C7 2B C5 5D 5F 5E 5B C3";
// X2 (text, length → the directory part's length), the whole routine.
inline constexpr const char* DirLength =
    "53 56 57 55 51 89 04 24 8B 34 24 8B 2C 24 03 EA 8B 3C 24 3B EE 76 36 8A 1E 33 C0 8A 06 80 B8 ?? ?? ?? ?? 00 74 "
    "09 8B C6 E8 ?? ?? ?? ?? EB 03 8D 46 01 8B F0 80 FB 5C 74 05 80 FB 2F 75 04 8B FE EB 07 80 FB 3A 75 02 8B FE 3B "
    "EE 77 ?? 8B C7 2B 04 24 5A 5D 5F 5E 5B C3";
// X3 (text → its extension): text + X1, called at +0x0E.
inline constexpr const char* FileExt = "53 8B D8 53 E8 ?? ?? ?? ?? 59 8B D0 8B C3 E8 ?? ?? ?? ?? 03 C3 5B C3";
inline constexpr int32_t FileExtBaseNameCall = 0x0E;
// X4 (source, dest: the directory part copied and terminated): X2 called at +0x12.
inline constexpr const char* ExtractDir =
    "53 56 57 8B FA 8B D8 53 E8 ?? ?? ?? ?? 59 8B D0 8B C3 E8 ?? ?? ?? ?? 8B D0 8B C3 E8 ?? ?? ?? ?? 8B F0 85 F6 7E "
    "0F 3B DF 74 0B 56 53 57 E8 ?? ?? ?? ?? 83 C4 0C C6 04 37 00 5F 5E 5B C3";
inline constexpr int32_t ExtractDirDirLengthCall = 0x12;
} // namespace FileNameStrPatterns

// X1: the offset of the last '.' behind the last '\', '/' or ':' of the
// text's first `length` bytes, else `length`.
int32_t QM_REGISTER BaseNameLength(const char* text, int32_t length);
// X2: just behind the last '\', '/' or ':' of the first `length` bytes, else 0.
int32_t QM_REGISTER DirectoryLength(const char* text, int32_t length);
// X3: the extension of a zero-terminated text (its last '.' behind the last
// delimiter), else the terminating zero.
const char* QM_REGISTER FileExtension(const char* text);
// X4: the directory part of source (up to and with its last delimiter)
// copied to dest, unless dest is source, and terminated there.
void QM_REGISTER ExtractDirectory(const char* source, char* dest);

std::vector<TPatchPlan> CompilerFileNameStrFunctionsPlans();
void InstallCompilerFileNameStrFunctions();

extern const TUnitInfo Unit_CompilerFileNameStrFunctions;

} // namespace Quillmend
