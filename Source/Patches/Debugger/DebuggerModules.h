// The debugger's modules the small debugger fixes patch, and the debugger
// kernel taken with a reference of the patch's own.
#pragma once

#include <windows.h>

namespace Quillmend {

constexpr const wchar_t* DebuggerIdePackage = L"dbkdebugide150.bpl";
constexpr const wchar_t* DebuggerProIdePackage = L"dbkdebugproide150.bpl";

// A module a patch loads itself when it is not there yet: it stays mapped,
// whoever loaded it first, while its import slots point at the patch's
// replacements; released at the patch module's finalization.
class TModuleReference {
public:
  explicit TModuleReference(const wchar_t* moduleName) : FName(moduleName) {}
  HMODULE Take();
  void Release();
  bool Held() const { return FModule != nullptr; }

private:
  const wchar_t* FName;
  HMODULE FModule = nullptr;
};

}  // namespace Quillmend
