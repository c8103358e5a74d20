#include "Patches/Variants/VariantTexts.h"

#include <windows.h>
#include <oleauto.h>

#include "Patches/Variants/HostVariants.h"

namespace Quillmend {

int DecimalText(uint64_t value, char* out) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = char('0' + value % 10);
    value /= 10;
  } while (value);
  for (int i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
  return n;
}

int DecimalText(int64_t value, char* out) {
  if (value >= 0) return DecimalText(uint64_t(value), out);
  out[0] = '-';
  return 1 + DecimalText(uint64_t(0) - uint64_t(value), out + 1);
}

int BooleanText(bool value, uint8_t rule, wchar_t* out) {
  BSTR text = nullptr;
  VarBstrFromBool(value ? VARIANT_TRUE : VARIANT_FALSE, VariantLocale, 0, &text);
  int length = text ? int(SysStringLen(text)) : 0;
  if (length > 63) length = 63;
  for (int i = 0; i < length; ++i) out[i] = text[i];
  out[length] = 0;
  SysFreeString(text);
  if (rule == 1) CharLowerBuffW(out, DWORD(length));
  if (rule == 2) CharUpperBuffW(out, DWORD(length));
  return length;
}

void TVariantTexts::Build(const THostStrings& strings) {
  for (int32_t value = CachedIntegerLow; value <= CachedIntegerHigh; ++value) {
    char digits[24];
    wchar_t wide[24];
    const int length = DecimalText(int64_t(value), digits);
    for (int i = 0; i < length; ++i) wide[i] = wchar_t(digits[i]);
    FIntegers[value - CachedIntegerLow] = strings.New(wide, length);
  }
  for (int i = 0; i < 6; ++i) {
    wchar_t text[64];
    const int length = BooleanText(i >= 3, uint8_t(i % 3), text);
    FBooleans[i] = strings.New(text, length);
  }
}

}  // namespace Quillmend
