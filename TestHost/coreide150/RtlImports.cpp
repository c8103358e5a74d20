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
  imports.StringListClass = reinterpret_cast<void*>(GetProcAddress(rtl, "@Classes@TStringList@"));
  Bind(rtl, imports.StringListCreate, "@Classes@TStringList@$bctr$qqrv");
  Bind(rtl, imports.StringListAdd, "@Classes@TStringList@Add$qqrx20System@UnicodeString");
  Bind(rtl, imports.StringListClear, "@Classes@TStringList@Clear$qqrv");
  Bind(rtl, imports.StringListGet, "@Classes@TStringList@Get$qqri");
  Bind(rtl, imports.NewUnicodeString, "@System@@NewUnicodeString$qqri");
  return imports;
}

} // namespace

const TRtlImports& Rtl() {
  static const TRtlImports imports = Resolve();
  return imports;
}

} // namespace CoreIde
