// TCharacter: the general Unicode category of a character, from a table
// generated from Python's unicodedata (UnicodeCategories.inc), and the UTF-16
// form of a code point.
#include <windows.h>

#include <algorithm>
#include <iterator>

#include "RtlServices.h"

using namespace QmRtl;

namespace {

const uint32_t CategoryRanges[] = {
#include "UnicodeCategories.inc"
};

} // namespace

extern "C" {

// TUnicodeCategory of a code point (0x110000 and above: unassigned).
uint8_t QM_HOST_REGISTER RtlUnicodeCategoryOf(uint32_t codePoint) {
  constexpr uint8_t Unassigned = 2;
  if (codePoint > 0x10FFFF) return Unassigned;
  const uint32_t key = codePoint << 8 | 0xFF;
  const uint32_t* entry = std::upper_bound(std::begin(CategoryRanges), std::end(CategoryRanges), key) - 1;
  return static_cast<uint8_t>(*entry & 0xFF);
}

// class function GetUnicodeCategory(C: Char): TUnicodeCategory; static (EAX = C).
uint8_t QM_HOST_REGISTER RtlGetUnicodeCategoryChar(uint32_t c) QM_HOST_SYMBOL(rtl_TCharacter_GetUnicodeCategoryChar);
uint8_t QM_HOST_REGISTER RtlGetUnicodeCategoryChar(uint32_t c) { return RtlUnicodeCategoryOf(c & 0xFFFF); }

// class function GetUnicodeCategory(const S: string; Index: Integer): the
// character at the 1-based Index; a surrogate pair there counts as one code point.
uint8_t QM_HOST_REGISTER RtlGetUnicodeCategoryAt(const wchar_t* s, int32_t index)
    QM_HOST_SYMBOL(rtl_TCharacter_GetUnicodeCategoryAt);
uint8_t QM_HOST_REGISTER RtlGetUnicodeCategoryAt(const wchar_t* s, int32_t index) {
  const int32_t length = Length(s);
  if (index < 1 || index > length) RaiseResFmt(rtl_EArgumentOutOfRangeException_Class, SInvalidUTF32Char);
  uint32_t c = s[index - 1];
  if (c >= 0xD800 && c <= 0xDBFF && index < length && s[index] >= 0xDC00 && s[index] <= 0xDFFF)
    c = 0x10000 + ((c - 0xD800) << 10) + (s[index] - 0xDC00);
  return RtlUnicodeCategoryOf(c);
}

// class function ConvertFromUtf32(C: UCS4Char): string (EAX = C, EDX = result).
// Surrogate code points and values above U+10FFFF raise EArgumentOutOfRangeException.
void QM_HOST_REGISTER RtlConvertFromUtf32(uint32_t c, wchar_t** result) QM_HOST_SYMBOL(rtl_TCharacter_ConvertFromUtf32);
void QM_HOST_REGISTER RtlConvertFromUtf32(uint32_t c, wchar_t** result) {
  if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) RaiseResFmt(rtl_EArgumentOutOfRangeException_Class, SInvalidUTF32Char);
  wchar_t units[2];
  int length = 1;
  if (c < 0x10000) {
    units[0] = static_cast<wchar_t>(c);
  } else {
    units[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
    units[1] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    length = 2;
  }
  StoreNew(result, NewString(units, length));
}

} // extern "C"
