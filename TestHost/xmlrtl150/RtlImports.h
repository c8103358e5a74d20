// The run-time routines xmlrtl150.bpl calls, through rtl150.bpl's exports as
// a package reaches its required package (whatever code is there now).
#pragma once

#include "Common/HostLayout.h"

namespace XmlRtl {

struct TRtlImports {
  void(QM_HOST_REGISTER* VarFromWStr)(void* v, const wchar_t* value) = nullptr;
  void(QM_HOST_REGISTER* VarClear)(void* v) = nullptr;
  void(QM_HOST_REGISTER* VarToStr)(const void* v, wchar_t** result) = nullptr;
  void(QM_HOST_REGISTER* UStrAsg)(wchar_t** dest, const wchar_t* source) = nullptr;
  void(QM_HOST_REGISTER* UStrClr)(wchar_t** variable) = nullptr;
  // A literal text into a string variable (a new string of the run-time).
  void UStrFromLiteral(wchar_t** dest, const wchar_t* text) const;
};

// Bound at the first use (rtl150.bpl is loaded before any package).
const TRtlImports& Rtl();

}  // namespace XmlRtl
