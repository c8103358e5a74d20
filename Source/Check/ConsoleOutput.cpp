#include "Check/ConsoleOutput.h"

#include "Hooking/Utf8Conversion.h"

namespace Quillmend {

namespace {

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != FALSE;
}

void WriteBytes(HANDLE handle, const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data() + done, DWORD(bytes.size() - done), &written, nullptr) || written == 0) return;
    done += written;
  }
}

} // namespace

void WriteText(DWORD stream, const std::wstring& text) {
  HANDLE handle = GetStdHandle(stream);
  if (!handle || handle == INVALID_HANDLE_VALUE) return;
  if (IsConsole(handle)) {
    DWORD written = 0;
    WriteConsoleW(handle, text.data(), DWORD(text.size()), &written, nullptr);
  } else {
    WriteBytes(handle, ToUtf8(text));
  }
}

void WriteUtf8(DWORD stream, const std::string& text) {
  HANDLE handle = GetStdHandle(stream);
  if (!handle || handle == INVALID_HANDLE_VALUE) return;
  if (IsConsole(handle))
    WriteText(stream, FromUtf8(text));
  else
    WriteBytes(handle, text);
}

} // namespace Quillmend
