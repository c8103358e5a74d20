// The hash of unit names used by the unit-name dictionary: random per-character
// weights drawn once per run, equal for both letter cases.
#pragma once

#include <cstdint>

namespace Quillmend {

// Draws the weight table: '0'..'9', 'A'..'Z' and '_' get a random weight in
// 1..65535 ('a'..'z' the same as 'A'..'Z'); every other byte weighs 0.
void InitUnitNameHashWeights();

// Hash of a zero-terminated UTF-8 unit name. Sums the weights of the bytes,
// rotating left by 6 after every 4th. At the first byte >= 0x80 it restarts at
// the current 8-byte block: the rest is converted to UTF-16, lower-cased and
// hashed on its code units the same way. Names differing only in letter case
// hash alike.
uint32_t UnitNameHash(const char* name);

} // namespace Quillmend
