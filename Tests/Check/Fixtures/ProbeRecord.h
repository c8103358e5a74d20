// What a probe module does when any of its code runs: it leaves a file
// "<its own path>.<what>" beside itself, so a test can tell afterwards.
#pragma once

#include <string>
#include <windows.h>

inline void RecordThatItRan(HMODULE module, const wchar_t* what) {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
  const std::wstring marker = std::wstring(path, n) + L"." + what;
  HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}
