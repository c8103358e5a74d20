// The form-text parser's two tables: the class of every ASCII character and
// the byte value of every pair of hexadecimal digits.
#pragma once

#include <cstdint>

namespace Quillmend {

// Character classes (the table holds 0, 1, 3..7; 2 is only returned for
// non-ASCII characters that continue an identifier).
enum TDfmCharClass : uint8_t {
  ccOther = 0,
  ccIdentStart = 1,    // A-Z a-z _
  ccIdentPart = 2,     // continues an identifier only
  ccDigit = 3,         // 0-9
  ccHash = 4,          // #
  ccQuote = 5,         // '
  ccDollar = 6,        // $
  ccMinus = 7,         // -
};

constexpr int DfmCharClassSize = 128;
// Indexed by w - 0x3030, w the 16-bit little-endian value of two bytes
// (first character in the low byte): 0x3030 ("00") .. 0x6666 ("ff").
constexpr int DfmHexPairFirst = 0x3030;
constexpr int DfmHexPairSize = 0x3637;

extern uint8_t DfmCharClass[DfmCharClassSize];
extern uint8_t DfmHexPairs[DfmHexPairSize];

// Fills both tables unless already filled (tested by the entries of "a" and
// "01"); idempotent.
void BuildDfmTables();

// The pair at `bytes` as a byte value: true when both characters are
// hexadecimal digits.
inline bool DecodeHexPair(const uint8_t* bytes, uint8_t& value) {
  const int w = bytes[0] | bytes[1] << 8;
  if (w < DfmHexPairFirst || w >= DfmHexPairFirst + DfmHexPairSize) return false;
  value = DfmHexPairs[w - DfmHexPairFirst];
  // Only "00" decodes to 0; every other zero entry is no pair of digits.
  return value != 0 || w == DfmHexPairFirst;
}

}  // namespace Quillmend
