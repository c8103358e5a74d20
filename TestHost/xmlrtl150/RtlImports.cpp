#include "RtlImports.h"

#include <windows.h>

namespace XmlRtl {

namespace {

template <class T>
void Bind(HMODULE rtl, T& slot, const char* name) {
  slot = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(rtl, name)));
}

TRtlImports Resolve() {
  TRtlImports imports;
  HMODULE rtl = GetModuleHandleW(L"rtl150.bpl");
  if (!rtl) return imports;
  Bind(rtl, imports.VarFromWStr, "@Variants@@VarFromWStr$qqrr14System@Variantx17System@WideString");
  Bind(rtl, imports.VarClear, "@Variants@@VarClear$qqrr14System@Variant");
  Bind(rtl, imports.VarToStr, "@Variants@VarToStr$qqrrx14System@Variant");
  Bind(rtl, imports.UStrAsg, "@System@@UStrAsg$qqrr20System@UnicodeStringx20System@UnicodeString");
  Bind(rtl, imports.UStrClr, "@System@@UStrClr$qqrpv");
  return imports;
}

}  // namespace

void TRtlImports::UStrFromLiteral(wchar_t** dest, const wchar_t* text) const {
  // A literal of reference count -1: UStrAsg copies it into a new string.
  struct {
    QmHost::StrRec header;
    wchar_t chars[8];
  } literal = {{QmHost::kUnicodeCodePage, 2, -1, lstrlenW(text)}, {}};
  lstrcpynW(literal.chars, text, 8);
  UStrAsg(dest, literal.chars);
}

const TRtlImports& Rtl() {
  static const TRtlImports imports = Resolve();
  return imports;
}

}  // namespace XmlRtl
