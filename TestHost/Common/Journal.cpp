#include "Journal.h"

#include <windows.h>

namespace QmHost {

std::wstring JournalEscape(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (wchar_t c : text) {
    switch (c) {
      case L'\r': out += L"\\r"; break;
      case L'\n': out += L"\\n"; break;
      case L'\\': out += L"\\\\"; break;
      default: out += c;
    }
  }
  return out;
}

std::wstring JournalUnescape(std::wstring_view line) {
  std::wstring out;
  out.reserve(line.size());
  for (size_t i = 0; i < line.size(); ++i) {
    wchar_t c = line[i];
    if (c == L'\\' && i + 1 < line.size()) {
      wchar_t n = line[i + 1];
      if (n == L'r') { out += L'\r'; ++i; continue; }
      if (n == L'n') { out += L'\n'; ++i; continue; }
      if (n == L'\\') { out += L'\\'; ++i; continue; }
    }
    out += c;
  }
  return out;
}

std::string ToUtf8(std::wstring_view text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring FromUtf8(std::string_view text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

Journal::~Journal() {
  Close();
  if (lock_) {
    DeleteCriticalSection(static_cast<CRITICAL_SECTION*>(lock_));
    delete static_cast<CRITICAL_SECTION*>(lock_);
  }
}

bool Journal::Open(const std::wstring& path) {
  Close();
  if (!lock_) {
    CRITICAL_SECTION* cs = new CRITICAL_SECTION;
    InitializeCriticalSection(cs);
    lock_ = cs;
  }
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  file_ = h;
  return true;
}

void Journal::Close() {
  if (file_) {
    CloseHandle(static_cast<HANDLE>(file_));
    file_ = nullptr;
  }
}

void Journal::Write(std::wstring_view line) {
  if (!file_) return;
  std::string bytes = ToUtf8(line);
  bytes += '\n';
  DWORD written = 0;
  EnterCriticalSection(static_cast<CRITICAL_SECTION*>(lock_));
  // One WriteFile per line and no buffer of our own: once written, the line
  // survives a crash of this process (no fsync: the OS keeps it).
  WriteFile(static_cast<HANDLE>(file_), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(lock_));
}

std::vector<std::wstring> ReadJournalLines(const std::wstring& path) {
  std::vector<std::wstring> lines;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return lines;
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(h);
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    lines.push_back(FromUtf8(std::string_view(bytes).substr(start, end - start)));
    start = end + 1;
  }
  return lines;
}

} // namespace QmHost
