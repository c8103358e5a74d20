// Reading whole files in tests.
#pragma once

#include <string>

namespace QuillmendTest {

// The file's bytes, or "<missing>" when it cannot be opened.
std::string ReadFileBytes(const std::wstring& name);

}  // namespace QuillmendTest
