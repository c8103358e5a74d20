// Rewriting import address tables of one module.
#pragma once

#include <string>
#include <vector>
#include <windows.h>

namespace Quillmend {

// The NT headers of the image at `base`; null when it is not a readable PE image.
PIMAGE_NT_HEADERS GetImageNtHeaders(void* base);
// The import address table entries of `base` that import from `moduleName`
// (any case) and hold `proc`. Writes nothing.
std::vector<void**> FindImportSlots(void* base, const std::wstring& moduleName, void* proc);
// Writes `newProc` into every entry holding `oldProc` (the page's protection
// is lifted for the write and put back); true when at least one was written.
bool ReplaceDllImport(void* base, const std::wstring& moduleName, void* oldProc, void* newProc);

class TJclPeMapImgHooks {
public:
  // ReplaceDllImport, where off the NT family an entry holding a push/jmp
  // stub of the same function counts as holding it.
  static bool ReplaceImportEntries(void* base, const std::wstring& moduleName, void* fromProc, void* toProc);
};

} // namespace Quillmend
