// The texts the variant conversions hand out without formatting: the
// decimal texts of -128 .. 255 and the platform's Boolean texts (from
// VarBstrFromBool with the user default locale, as given, in lower and in
// upper case), as host strings built once when the patch is installed.
#pragma once

#include <cstdint>

#include "Framework/HostAbi.h"

namespace Quillmend {

constexpr int32_t CachedIntegerLow = -128;
constexpr int32_t CachedIntegerHigh = 255;

// Decimal text of a value into `out` (at least 21 characters); its length.
int DecimalText(int64_t value, char* out);
int DecimalText(uint64_t value, char* out);

// The platform's text of a Boolean under a BooleanToStringRule (0 as given,
// 1 lower case, 2 upper case; others as given) into `out` (at least 64
// characters); its length.
int BooleanText(bool value, uint8_t rule, wchar_t* out);

class TVariantTexts {
public:
  // Makes every text (host strings of ours, one reference each).
  void Build(const THostStrings& strings);
  // The cached text of a value in -128 .. 255.
  const wchar_t* Integer(int32_t value) const { return FIntegers[value - CachedIntegerLow]; }
  const wchar_t* Boolean(bool value, uint8_t rule) const { return FBooleans[(value ? 3 : 0) + (rule <= 2 ? rule : 0)]; }

private:
  wchar_t* FIntegers[CachedIntegerHigh - CachedIntegerLow + 1] = {};
  wchar_t* FBooleans[6] = {};
};

}  // namespace Quillmend
