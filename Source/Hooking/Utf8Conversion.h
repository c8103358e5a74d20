// Whole texts between UTF-16 and UTF-8: module and patch names for 8-bit
// system calls and messages, exception texts for the host.
#pragma once

#include <string>
#include <string_view>

namespace Quillmend {

// Whole-text conversions; invalid sequences become U+FFFD. Raise nothing.
std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);

} // namespace Quillmend
