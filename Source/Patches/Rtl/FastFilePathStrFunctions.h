// Lean file-path functions ("IDE.FilePathStrFunctions"): one backward scan,
// at most one allocation, the input itself returned when the result equals
// it; and a relative-path function built in one allocation of its exact
// length ("IDE.ExtractRelativePath", registered only when the first is
// enabled). Path delimiters are "\" and ":" only; "/" is an ordinary
// character.
#pragma once

#include <vector>

#include <cstdint>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// 1-based position of the last "\" or ":" (LastPathDelimiter), of the last
// ".", "\" or ":" (LastExtDelimiter); 0 if none.
int32_t LastPathDelimiter(const wchar_t* s, int32_t length);
int32_t LastExtDelimiter(const wchar_t* s, int32_t length);
// Length of the drive part: "C:" 2, "\\server\share" up to (not including)
// the backslash after the share, else 0; never more than the length.
int32_t ExtractFileDriveLength(const wchar_t* s, int32_t length);

// The replacements: the host's register convention, the result variable last.
void QM_REGISTER ExtractFilePathFast(const wchar_t* s, wchar_t** result);
void QM_REGISTER ExtractFileDirFast(const wchar_t* s, wchar_t** result);
void QM_REGISTER ExtractFileNameFast(const wchar_t* s, wchar_t** result);
void QM_REGISTER ExtractFileExtFast(const wchar_t* s, wchar_t** result);
void QM_REGISTER ExtractModuleNameFast(const wchar_t* s, wchar_t** result);
void QM_REGISTER ChangeFileExtFast(const wchar_t* s, const wchar_t* ext, wchar_t** result);
void QM_REGISTER ExtractRelativePathFast(const wchar_t* base, const wchar_t* dest, wchar_t** result);

TPatchPlan FilePathStrFunctionsPlan();
TPatchPlan ExtractRelativePathPlan();
// The module's plans for the check, in installation order.
std::vector<TPatchPlan> FastFilePathStrFunctionsPlans();
void InstallFastFilePathStrFunctions();

extern const TUnitInfo Unit_FastFilePathStrFunctions;

}  // namespace Quillmend
