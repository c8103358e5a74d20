#include "InstallerLog.h"

#include <windows.h>

namespace Quillmend {

namespace {

std::wstring LogFileName() {
  wchar_t buffer[MAX_PATH * 2];
  DWORD n = GetEnvironmentVariableW(L"QUILLMEND_INSTALLER_LOG", buffer, MAX_PATH * 2);
  return n > 0 && n < MAX_PATH * 2 ? std::wstring(buffer, n) : std::wstring();
}

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string result(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], n, nullptr, nullptr);
  return result;
}

} // namespace

bool InstallerLogEnabled() { return !LogFileName().empty(); }

void AppendInstallerLog(const std::wstring& kind, const std::wstring& title, const std::wstring& text) {
  std::wstring fileName = LogFileName();
  if (fileName.empty()) return;
  HANDLE file = CreateFileW(fileName.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  std::string record = ToUtf8(L"--- " + kind + L": " + title + L"\n" + text + L"\n");
  DWORD written = 0;
  WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
  CloseHandle(file);
}

} // namespace Quillmend
