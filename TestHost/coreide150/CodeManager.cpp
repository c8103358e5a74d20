// The code manager's functions (unit Codemgr).
#include <type_traits>

#include "CoreIdeDriver.h"
#include "RtlImports.h"

using CoreIde::Rtl;

extern "C" {

// ExtractModuleName(const S: string): string — the file name without its
// directory and its last extension: ChangeFileExt(ExtractFileName(S), '').
// EAX = S, EDX = result variable.
void QM_HOST_REGISTER ExtractModuleName(const wchar_t* s, wchar_t** result) QM_HOST_SYMBOL(coreide_ExtractModuleName);
void QM_HOST_REGISTER ExtractModuleName(const wchar_t* s, wchar_t** result) {
  wchar_t* name = nullptr;
  Rtl().ExtractFileName(s, &name);
  Rtl().ChangeFileExt(name, nullptr, result);
  Rtl().UStrClr(&name);
}

} // extern "C"

static_assert(std::is_same_v<decltype(&ExtractModuleName), CoreIdeDriver::ExtractModuleNameFn>,
              "ExtractModuleName has the driver's type");
