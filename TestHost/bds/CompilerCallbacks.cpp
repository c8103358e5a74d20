#include "CompilerCallbacks.h"

#include <windows.h>

#include "HostApp.h"
#include "IdeServices/ModuleServices.h"
#include "dcc150/DccFilesDriver.h"

namespace QmHost {

namespace {

std::wstring Wide(const char* text) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring wide(size_t(length > 0 ? length - 1 : 0), L'\0');
  if (length > 1) MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), length);
  return wide;
}

uint32_t DosAge(const FILETIME& local) {
  WORD date = 0, time = 0;
  if (!FileTimeToDosDateTime(&local, &date, &time)) return 0;
  return (uint32_t(date) << 16) | time;
}

int32_t __stdcall CreateOutput(const char* path) {
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? -1 : int32_t(reinterpret_cast<intptr_t>(file));
}

uint32_t __stdcall FileAge(const char* path) { return IdeFileAge(path); }

const DccFilesDriver::TCallbacks g_callbacks = {nullptr, &CreateOutput, &CreateOutput, {}, &FileAge};

} // namespace

unsigned IdeFileAge(const char* path) {
  const std::wstring wide = Wide(path);
  wchar_t full[MAX_PATH * 2];
  const DWORD length = GetFullPathNameW(wide.c_str(), DWORD(std::size(full)), full, nullptr);
  double modified = 0;
  if (length > 0 && length < std::size(full) && EditorModifiedTime(std::wstring(full, length), modified))
    return DosAge(LocalFileTimeOfDateTime(modified));
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return 0;
  FILETIME local;
  if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local)) return 0;
  return DosAge(local);
}

bool InstallCompilerCallbacks(HostApp& app) {
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  if (!dcc) dcc = LoadLibraryW((app.hostDir + L"dcc150.dll").c_str());
  DccFilesDriver::SetCallbacksFn setCallbacks = nullptr;
  if (!dcc || !DccFilesDriver::BindExport(dcc, setCallbacks, DccFilesDriver::Export::SetCallbacks)) return false;
  setCallbacks(&g_callbacks);
  return true;
}

} // namespace QmHost
