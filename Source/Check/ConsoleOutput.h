// Text to the console or, when redirected, UTF-8 bytes to a file or pipe.
#pragma once

#include <string>
#include <windows.h>

namespace Quillmend {

// STD_OUTPUT_HANDLE or STD_ERROR_HANDLE.
void WriteText(DWORD stream, const std::wstring& text);
void WriteUtf8(DWORD stream, const std::string& text);

} // namespace Quillmend
