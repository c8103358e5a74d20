// Number conversions of the stand-in run-time: StrToInt64 and StrToFloat
// (with the process's format settings or given ones), and the format
// settings variable. The stand-in's TFormatSettings holds only the scalar
// fields, in the host's order (TestHost/README.md).
#include <windows.h>

#include <cstdlib>

#include "RtlServices.h"

using namespace QmRtl;

namespace {

wchar_t LocaleChar(LCTYPE type, wchar_t fallback) {
  wchar_t text[8];
  return GetLocaleInfoW(LOCALE_USER_DEFAULT, type, text, 8) > 1 ? text[0] : fallback;
}

TFormatSettings UserFormatSettings() {
  TFormatSettings s{};
  s.ThousandSeparator = LocaleChar(LOCALE_STHOUSAND, L',');
  s.DecimalSeparator = LocaleChar(LOCALE_SDECIMAL, L'.');
  s.CurrencyDecimals = 2;
  s.DateSeparator = LocaleChar(LOCALE_SDATE, L'/');
  s.TimeSeparator = LocaleChar(LOCALE_STIME, L':');
  s.ListSeparator = LocaleChar(LOCALE_SLIST, L',');
  return s;
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

int HexDigit(wchar_t c) {
  if (IsDigit(c)) return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// Val's reading of an integer: leading blanks, a sign, "$", "0x" or "x" for
// hexadecimal (up to 64 bits), otherwise decimal within Int64; nothing after.
bool ParseInt64(const wchar_t* s, int length, int64_t& value) {
  int i = 0;
  while (i < length && s[i] == L' ') ++i;
  bool negative = false;
  if (i < length && (s[i] == L'-' || s[i] == L'+')) negative = s[i++] == L'-';
  uint64_t magnitude = 0;
  int digits = 0;
  if (i < length && (s[i] == L'$' || s[i] == L'x' || s[i] == L'X' ||
                     (s[i] == L'0' && i + 1 < length && (s[i + 1] == L'x' || s[i + 1] == L'X')))) {
    i += s[i] == L'0' ? 2 : 1;
    for (; i < length && HexDigit(s[i]) >= 0; ++i, ++digits) {
      if (magnitude >> 60) return false;
      magnitude = magnitude << 4 | uint64_t(HexDigit(s[i]));
    }
  } else {
    const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
    for (; i < length && IsDigit(s[i]); ++i, ++digits) {
      const uint64_t digit = uint64_t(s[i] - L'0');
      if (magnitude > (limit - digit) / 10) return false;
      magnitude = magnitude * 10 + digit;
    }
  }
  if (digits == 0 || i != length) return false;
  value = negative ? int64_t(0 - magnitude) : int64_t(magnitude);
  return true;
}

// TextToFloat's reading: blanks around, a sign, digits with one decimal
// separator, an exponent "E"/"e" with a sign and digits. The value is the
// correctly rounded extended.
bool ParseFloat(const wchar_t* s, int length, wchar_t decimalSeparator, long double& value) {
  char text[128];
  int n = 0, i = 0, mantissaDigits = 0;
  auto put = [&](wchar_t c) {
    if (n < static_cast<int>(sizeof text) - 1) text[n++] = static_cast<char>(c);
    return n < static_cast<int>(sizeof text) - 1;
  };
  while (i < length && s[i] == L' ') ++i;
  if (i < length && (s[i] == L'-' || s[i] == L'+')) put(s[i++]);
  for (; i < length && IsDigit(s[i]); ++i, ++mantissaDigits) put(s[i]);
  if (i < length && s[i] == decimalSeparator) {
    put(L'.');
    for (++i; i < length && IsDigit(s[i]); ++i, ++mantissaDigits) put(s[i]);
  }
  if (mantissaDigits == 0) return false;
  if (i < length && (s[i] == L'E' || s[i] == L'e')) {
    put(L'e');
    ++i;
    if (i < length && (s[i] == L'-' || s[i] == L'+')) put(s[i++]);
    int exponentDigits = 0;
    for (; i < length && IsDigit(s[i]); ++i, ++exponentDigits) put(s[i]);
    if (exponentDigits == 0) return false;
  }
  while (i < length && s[i] == L' ') ++i;
  if (i != length || !put(0)) return false;
  value = __mingw_strtold(text, nullptr);
  return true;
}

} // namespace

bool QmRtl::TryStrToInt64(const wchar_t* s, int64_t& value) { return ParseInt64(s, Length(s), value); }

// The process's format settings, from the user's locale at load.
TFormatSettings QmRtl::FormatSettings = UserFormatSettings();

extern "C" {


// StrToInt64(const S: string): Int64 (EAX = S, result in EDX:EAX).
int64_t QM_HOST_REGISTER RtlStrToInt64(const wchar_t* s) {
  int64_t value = 0;
  if (!ParseInt64(s, Length(s), value)) RaiseResFmt(rtl_EConvertError_Class, SInvalidInteger, {s ? s : L""});
  return value;
}

// StrToFloat(const S: string; const FormatSettings: TFormatSettings): Extended
// (EAX = S, EDX = the settings record, result in ST(0)).
long double QM_HOST_REGISTER RtlStrToFloatFS(const wchar_t* s, const void* formatSettings) {
  long double value = 0;
  const wchar_t separator = static_cast<const TFormatSettings*>(formatSettings)->DecimalSeparator;
  if (!ParseFloat(s, Length(s), separator, value)) RaiseResFmt(rtl_EConvertError_Class, SInvalidFloat, {s ? s : L""});
  return value;
}

// StrToFloat(const S: string): Extended, with the process's settings.
long double QM_HOST_REGISTER RtlStrToFloat(const wchar_t* s) QM_HOST_SYMBOL(rtl_StrToFloat);
long double QM_HOST_REGISTER RtlStrToFloat(const wchar_t* s) { return RtlStrToFloatFS(s, &FormatSettings); }

} // extern "C"
