#include "FileSystem.h"

#include "InstallerError.h"

#include <windows.h>

#include <vector>

namespace Quillmend {

bool FileExists(const std::wstring& fileName) {
  DWORD attr = GetFileAttributesW(fileName.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::wstring& dir) {
  if (dir.empty()) return false;
  DWORD attr = GetFileAttributesW(dir.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring ExcludeTrailingPathDelimiter(const std::wstring& path) {
  std::wstring result = path;
  if (!result.empty() && result.back() == L'\\') result.pop_back();
  return result;
}

std::wstring ExtractFileDir(const std::wstring& path) {
  size_t at = path.find_last_of(L"\\:");
  if (at == std::wstring::npos) return std::wstring();
  // The delimiter stays only where it belongs to a root: C:\ or the \\ of a UNC name.
  if (at > 0 && path[at] == L'\\' && path[at - 1] != L'\\' && path[at - 1] != L':')
    return path.substr(0, at);
  return path.substr(0, at + 1);
}

bool ForceDirectories(const std::wstring& dir) {
  std::wstring path = ExcludeTrailingPathDelimiter(dir);
  if (path.empty()) return false;
  if (DirectoryExists(path)) return true;
  std::wstring parent = ExcludeTrailingPathDelimiter(ExtractFileDir(path));
  if (!parent.empty() && parent != path && !(parent.size() == 2 && parent[1] == L':') &&
      !ForceDirectories(parent))
    return false;
  return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::wstring OwnExecutableName() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

namespace {

[[noreturn]] void RaiseFileError(const wchar_t* what, const std::wstring& fileName, DWORD code) {
  throw EInstallerError(std::wstring(what) + L" \"" + fileName + L"\". " + SysErrorMessage(code));
}

class THandle {
public:
  explicit THandle(HANDLE h) : FHandle(h) {}
  ~THandle() { Close(); }
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  bool Valid() const { return FHandle != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return FHandle; }
  void Close() {
    if (Valid()) CloseHandle(FHandle);
    FHandle = INVALID_HANDLE_VALUE;
  }

private:
  HANDLE FHandle;
};

void WriteAndStamp(HANDLE file, const std::wstring& fileName, const void* data, size_t size,
                   const std::wstring& timesFrom) {
  const BYTE* p = static_cast<const BYTE*>(data);
  while (size > 0) {
    DWORD chunk = size > (1u << 20) ? (1u << 20) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(file, p, chunk, &written, nullptr) || written == 0)
      RaiseFileError(L"Cannot write file", fileName, GetLastError());
    p += written;
    size -= written;
  }
  if (!FlushFileBuffers(file)) RaiseFileError(L"Cannot write file", fileName, GetLastError());

  THandle source(CreateFileW(timesFrom.c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, 0, nullptr));
  if (!source.Valid()) RaiseLastSystemError();
  FILETIME created, accessed, written;
  if (!GetFileTime(source.Get(), &created, &accessed, &written)) RaiseLastSystemError();
  if (!SetFileTime(file, &created, &accessed, &written)) RaiseLastSystemError();
}

} // namespace

void WriteFileReplacing(const std::wstring& fileName, const void* data, size_t size,
                        const std::wstring& timesFrom) {
  std::wstring dir = ExtractFileDir(fileName);
  wchar_t temp[MAX_PATH + 16];
  if (!GetTempFileNameW(dir.empty() ? L"." : dir.c_str(), L"qmx", 0, temp))
    RaiseFileError(L"Cannot create file", fileName, GetLastError());
  try {
    THandle file(CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) RaiseFileError(L"Cannot create file", fileName, GetLastError());
    WriteAndStamp(file.Get(), fileName, data, size, timesFrom);
    file.Close();
    if (!MoveFileExW(temp, fileName.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      RaiseFileError(L"Cannot create file", fileName, GetLastError());
  } catch (...) {
    DeleteFileW(temp);
    throw;
  }
}

} // namespace Quillmend
