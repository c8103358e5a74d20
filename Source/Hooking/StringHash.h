// Case-insensitive hashes of identifiers and file names, for 8-bit (UTF-8)
// and UTF-16 strings. Table-driven and unrolled over groups of four
// characters with one rotation per group. The tables come from a fixed start value,
// so every run of every process produces the same hash values.
#pragma once

#include <cstdint>

namespace Quillmend {

// Linear congruential step: State = State * 134775813 + 1 (mod 2^32); returns
// the high 32 bits of Range * State, a value in 0 .. Range-1.
constexpr uint32_t NextHashRandom(uint32_t& randomSeed, uint32_t range) {
  randomSeed = randomSeed * 134775813u + 1u;
  return static_cast<uint32_t>((static_cast<uint64_t>(range) * randomSeed) >> 32);
}

// Zero-terminated 8-bit string, ASCII case ignored. On the first byte with
// the top bit set it falls back to Utf8HashTextWide for the string from the
// start of the current run of eight bytes. Null and "" hash to 0.
uint32_t Utf8HashText(const char* s);
// Zero-terminated UTF-8 string, lower-cased through UTF-16 with the invariant
// locale (at most 259 characters; a longer or unconvertible string hashes to 0).
uint32_t Utf8HashTextWide(const char* s);
// Zero-terminated UTF-16 string, case-sensitive. Null hashes to 0.
uint32_t UnicodeHashText(const wchar_t* s);
// Zero-terminated UTF-16 string, ASCII case ignored. Null hashes to 0.
uint32_t UnicodeHashTextI(const wchar_t* s);

} // namespace Quillmend
