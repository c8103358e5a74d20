// The run-time's text comparisons the IDE's lists use: SameText (ASCII case
// ignored), AnsiSameText (the user locale's case-insensitive comparison) and
// ExpandUNCFileName (the full path; a mapped network drive is left as it is).
#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "ObjectModelDriver.h"
#include "RtlInternal.h"

namespace {

int Length(const wchar_t* s) { return s ? QmHost::StrHeader(s)->length : 0; }

wchar_t Upper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 0x20) : c; }

} // namespace

extern "C" {

std::uint8_t QM_HOST_REGISTER RtlSameText(const wchar_t* a, const wchar_t* b) QM_HOST_SYMBOL(rtl_SameText);
std::uint8_t QM_HOST_REGISTER RtlSameText(const wchar_t* a, const wchar_t* b) {
  int length = Length(a);
  if (length != Length(b)) return 0;
  for (int i = 0; i < length; ++i)
    if (Upper(a[i]) != Upper(b[i])) return 0;
  return 1;
}

std::uint8_t QM_HOST_REGISTER RtlAnsiSameText(const wchar_t* a, const wchar_t* b) QM_HOST_SYMBOL(rtl_AnsiSameText);
std::uint8_t QM_HOST_REGISTER RtlAnsiSameText(const wchar_t* a, const wchar_t* b) {
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a ? a : L"", Length(a), b ? b : L"", Length(b)) ==
         CSTR_EQUAL;
}

void QM_HOST_REGISTER RtlExpandUNCFileName(const wchar_t* s, wchar_t** result) QM_HOST_SYMBOL(rtl_ExpandUNCFileName);
void QM_HOST_REGISTER RtlExpandUNCFileName(const wchar_t* s, wchar_t** result) {
  wchar_t* text = nullptr;
  if (Length(s) > 0) {
    DWORD size = GetFullPathNameW(s, 0, nullptr, nullptr);
    if (size > 0) {
      text = RtlNewUnicodeString(static_cast<int>(size));
      DWORD written = GetFullPathNameW(s, size, text, nullptr);
      QmHost::StrHeader(text)->length = static_cast<int>(written);
      text[written] = 0;
    }
  }
  RtlUStrClr(result);
  *result = text;
}

} // extern "C"

static_assert(std::is_same_v<decltype(&RtlSameText), RtlObjects::SameTextFn>, "SameText");
static_assert(std::is_same_v<decltype(&RtlExpandUNCFileName), RtlObjects::StringFn>, "ExpandUNCFileName");
