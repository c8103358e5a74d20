// The stand-in compiler's name reader, driver interface: a name in a
// compiled unit's data is a length byte and the text; the length byte 255
// means a 32-bit length follows first.
#pragma once

#include <cstdint>

#include "Common/HostLayout.h"

namespace DccNamesDriver {

namespace Export {
constexpr const char* ReadName = "DccReadName";      // the searched routine
constexpr const char* ReadLength = "DccReadLength";  // the call at +6
constexpr const char* ReadNames = "DccReadNames";
} // namespace Export

// ReadName(source, dest) → the address after the text: the text copied to
// dest and terminated by a zero byte (host register convention).
using ReadNameFn = const uint8_t*(QM_HOST_REGISTER*)(const uint8_t* source, char* dest);
// ReadLength(source, &length) → the text's address.
using ReadLengthFn = const uint8_t*(QM_HOST_REGISTER*)(const uint8_t* source, int32_t* length);
// Reads `count` names one after the other from `data` into a 256-byte (or
// larger, `room`) buffer each time, the way the compiler reads a unit's
// names; FNV checksum of where each ended and of samples of each name read
// (first, middle and last character, the zero after it).
using ReadNamesFn = uint32_t(__stdcall*)(const uint8_t* data, int32_t count, int32_t room);

} // namespace DccNamesDriver
