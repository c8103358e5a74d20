#include "InstallerError.h"

#include <windows.h>

namespace Quillmend {

std::wstring SysErrorMessage(unsigned long code) {
  wchar_t* buffer = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text(buffer ? buffer : L"", n);
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
    text.pop_back();
  return text;
}

void RaiseSystemError(unsigned long code) {
  throw EInstallerError(L"System Error.  Code: " + std::to_wstring(code) + L".\r\n" +
                        SysErrorMessage(code));
}

void RaiseLastSystemError() { RaiseSystemError(GetLastError()); }

} // namespace Quillmend
