#include "TestFiles.h"

#include <windows.h>

namespace QuillmendTest {

std::string ReadFileBytes(const std::wstring& name) {
  HANDLE h = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  std::string content(GetFileSize(h, nullptr), '\0');
  DWORD n = 0;
  ReadFile(h, &content[0], static_cast<DWORD>(content.size()), &n, nullptr);
  CloseHandle(h);
  content.resize(n);
  return content;
}

}  // namespace QuillmendTest
