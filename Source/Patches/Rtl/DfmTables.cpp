#include "Patches/Rtl/DfmTables.h"

namespace Quillmend {

uint8_t DfmCharClass[DfmCharClassSize];
uint8_t DfmHexPairs[DfmHexPairSize];

namespace {

int HexDigitValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

void BuildDfmTables() {
  if (DfmCharClass['a'] == 0) {
    for (int c = 0; c < DfmCharClassSize; ++c) {
      uint8_t k = ccOther;
      if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_') k = ccIdentStart;
      else if (c >= '0' && c <= '9') k = ccDigit;
      else if (c == '#') k = ccHash;
      else if (c == '\'') k = ccQuote;
      else if (c == '$') k = ccDollar;
      else if (c == '-') k = ccMinus;
      DfmCharClass[c] = k;
    }
  }
  if (DfmHexPairs[('0' | '1' << 8) - DfmHexPairFirst] == 0) {
    for (int first = 0; first < 256; ++first)
      for (int second = 0; second < 256; ++second) {
        const int high = HexDigitValue(first), low = HexDigitValue(second);
        const int w = first | second << 8;
        if (high >= 0 && low >= 0) DfmHexPairs[w - DfmHexPairFirst] = uint8_t(high << 4 | low);
      }
  }
}

}  // namespace Quillmend
