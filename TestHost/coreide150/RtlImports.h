// The run-time functions coreide150.bpl calls, reached through rtl150.bpl's
// exports as a package reaches its required package: the calls go to
// whatever code is at those exports now.
#pragma once

#include <cstdint>

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
  // The event log's string list (StringListDriver.h of rtl150) and new strings.
  void* StringListClass = nullptr;
  void*(QM_HOST_REGISTER* StringListCreate)(void* classRef, int alloc) = nullptr;
  int32_t(QM_HOST_REGISTER* StringListAdd)(void* self, const wchar_t* text) = nullptr;
  void(QM_HOST_REGISTER* StringListClear)(void* self) = nullptr;
  void(QM_HOST_REGISTER* StringListGet)(void* self, int32_t index, wchar_t** result) = nullptr;
  wchar_t*(QM_HOST_REGISTER* NewUnicodeString)(int length) = nullptr;
};

// Bound at the first use (rtl150.bpl is loaded before any package).
const TRtlImports& Rtl();

} // namespace CoreIde
