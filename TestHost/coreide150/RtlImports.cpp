#include "RtlImports.h"

#include <windows.h>

namespace CoreIde {

namespace {

template <class T>
void Bind(HMODULE rtl, T& slot, const char* name) {
  slot = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(rtl, name)));
}

TRtlImports Resolve() {
  TRtlImports imports;
  HMODULE rtl = GetModuleHandleW(L"rtl150.bpl");
  if (!rtl) return imports;
  Bind(rtl, imports.ExtractFileName, "@Sysutils@ExtractFileName$qqrx20System@UnicodeString");
  Bind(rtl, imports.ChangeFileExt, "@Sysutils@ChangeFileExt$qqrx20System@UnicodeStringt1");
  Bind(rtl, imports.UStrClr, "@System@@UStrClr$qqrpv");
  return imports;
}

} // namespace

const TRtlImports& Rtl() {
  static const TRtlImports imports = Resolve();
  return imports;
}

} // namespace CoreIde
