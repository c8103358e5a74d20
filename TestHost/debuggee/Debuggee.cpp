// The debugged program of the test host:
//
//   debuggee.exe <output file> [anything...]
//
// writes its whole command line (GetCommandLineW, UTF-16 without a byte
// order mark) to <output file>, so a test sees what reached it; exit code
// 0, or 2 when the file cannot be written.
#include <windows.h>
#include <shellapi.h>

#include <string>

int main() {
  const wchar_t* commandLine = GetCommandLineW();
  int count = 0;
  wchar_t** args = CommandLineToArgvW(commandLine, &count);
  if (!args || count < 2) return 2;
  HANDLE file = CreateFileW(args[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  DWORD written = 0;
  const DWORD bytes = DWORD(lstrlenW(commandLine) * sizeof(wchar_t));
  const BOOL ok = WriteFile(file, commandLine, bytes, &written, nullptr) && written == bytes;
  CloseHandle(file);
  LocalFree(args);
  return ok ? 0 : 2;
}
