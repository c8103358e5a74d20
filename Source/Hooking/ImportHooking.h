// Rewriting import address tables of one module.
#pragma once

#include <string>
#include <windows.h>

namespace Quillmend {

PIMAGE_NT_HEADERS GetImageNtHeaders(void* base);
bool ReplaceDllImport(void* base, const std::wstring& moduleName, void* oldProc, void* newProc);

class TJclPeMapImgHooks {
public:
  static bool ReplaceImportEntries(void* base, const std::wstring& moduleName, void* fromProc, void* toProc);
};

} // namespace Quillmend
