// The run-time functions coreide150.bpl calls, reached through rtl150.bpl's
// exports as a package reaches its required package: the calls go to
// whatever code is at those exports now.
#pragma once

#include "Common/HostLayout.h"

namespace CoreIde {

struct TRtlImports {
  // function X(const S: string): string — EAX = S, EDX = result variable.
  using TStringFunction = void(QM_HOST_REGISTER*)(const wchar_t* s, wchar_t** result);
  // function ChangeFileExt(const FileName, Extension: string): string.
  using TChangeFileExt = void(QM_HOST_REGISTER*)(const wchar_t* s, const wchar_t* ext, wchar_t** result);
  using TUStrClr = void*(QM_HOST_REGISTER*)(wchar_t** var);

  TStringFunction ExtractFileName = nullptr;
  TChangeFileExt ChangeFileExt = nullptr;
  TUStrClr UStrClr = nullptr;
};

// Bound at the first use (rtl150.bpl is loaded before any package).
const TRtlImports& Rtl();

} // namespace CoreIde
