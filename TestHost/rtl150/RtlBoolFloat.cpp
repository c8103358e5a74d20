// SysUtils' FloatToStr and TryStrToBool as the variant conversions call them.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <cstring>

#include "RtlServices.h"

namespace {

long g_tryStrToBoolCalls = 0;

bool SameText(const wchar_t* a, int length, const wchar_t* b) {
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, length, b, -1) == CSTR_EQUAL;
}

}  // namespace

extern "C" {

// FloatToStr(Value: Extended): string — the Extended on the stack, EAX =
// result variable. General format, 15 significant digits, the format
// settings' decimal separator, an exponent without "+" or leading zeros
// ("1.5E20", "1E-5"), "NAN", "INF", "-INF".
void QM_HOST_REGISTER RtlFloatToStr(long double value, wchar_t** result) QM_HOST_SYMBOL(rtl_FloatToStr);
void QM_HOST_REGISTER RtlFloatToStr(long double value, wchar_t** result) {
  char text[64];
  std::snprintf(text, sizeof text, "%.15G", double(value));
  char out[64];
  int n = 0;
  for (const char* p = text; *p; ++p) {
    if (*p == '.') {
      out[n++] = '\x01';  // the decimal separator, placed below
    } else if (*p == 'E') {
      out[n++] = 'E';
      if (p[1] == '+') ++p;
      if (p[1] == '-') out[n++] = *++p;
      while (p[1] == '0' && p[2]) ++p;
    } else {
      out[n++] = *p;
    }
  }
  wchar_t* s = RtlNewUnicodeString(n);
  for (int i = 0; i < n; ++i) s[i] = out[i] == '\x01' ? QmRtl::FormatSettings.DecimalSeparator : wchar_t(out[i]);
  QmRtl::StoreNew(result, s);
}

// TryStrToBool(const S: string; out Value: Boolean): Boolean — "True" or
// "False" (case ignored), or a number (non-zero is true).
bool QM_HOST_REGISTER RtlTryStrToBool(const wchar_t* s, uint8_t* value) QM_HOST_SYMBOL(rtl_TryStrToBool);
bool QM_HOST_REGISTER RtlTryStrToBool(const wchar_t* s, uint8_t* value) {
  ++g_tryStrToBoolCalls;
  const int length = QmRtl::Length(s);
  if (length > 0 && SameText(s, length, L"True")) return *value = 1, true;
  if (length > 0 && SameText(s, length, L"False")) return *value = 0, true;
  int start = 0, end = length;
  while (start < end && s[start] == L' ') ++start;
  while (end > start && s[end - 1] == L' ') --end;
  if (start == end) return false;
  wchar_t number[64];
  if (end - start >= 64) return false;
  for (int i = start; i < end; ++i) number[i - start] = s[i] == QmRtl::FormatSettings.DecimalSeparator ? L'.' : s[i];
  number[end - start] = 0;
  wchar_t* stop = nullptr;
  const double d = std::wcstod(number, &stop);
  if (stop != number + (end - start)) return false;
  *value = d != 0;
  return true;
}

long __stdcall RtlTryStrToBoolCalls() QM_HOST_SYMBOL(rtl_TryStrToBoolCalls);
long __stdcall RtlTryStrToBoolCalls() { return g_tryStrToBoolCalls; }

}  // extern "C"
