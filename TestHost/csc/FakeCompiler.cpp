// A stand-in C# compiler:
//
//   csc.exe [options...] @<response file>
//
// reads the response file (UTF-8; arguments separated by blanks and line
// breaks, double quotes around paths), and writes the file named by
// "/out:<path>" from the source named by the last argument: the bytes
// "MZ compiled " then the source's bytes, so another source gives another
// assembly. Then it waits QM_CSC_DELAY_MS milliseconds (default 0), adds a
// line to the file named by QM_CSC_RUNS (if set) and exits with
// QM_CSC_EXIT_CODE (default 0). Exit code 3 for a bad command line or
// unreadable files.
#include <windows.h>

#include <string>
#include <vector>

namespace {

std::string ReadAll(const std::wstring& path, bool& ok) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ok = file != INVALID_HANDLE_VALUE;
  if (!ok) return bytes;
  bytes.resize(GetFileSize(file, nullptr));
  DWORD read = 0;
  if (!bytes.empty()) ok = ReadFile(file, &bytes[0], DWORD(bytes.size()), &read, nullptr) && read == bytes.size();
  CloseHandle(file);
  return bytes;
}

std::wstring Widen(const std::string& text) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring out(size_t(length), L'\0');
  if (length) MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), &out[0], length);
  return out;
}

// Arguments as the compiler reads them: quotes removed, a quoted run keeps its blanks.
std::vector<std::wstring> Arguments(const std::wstring& text) {
  std::vector<std::wstring> out;
  std::wstring current;
  bool quoted = false, any = false;
  for (wchar_t c : text) {
    if (c == L'"') {
      quoted = !quoted;
      any = true;
    } else if (!quoted && (c == L' ' || c == L'\t' || c == L'\r' || c == L'\n')) {
      if (any) out.push_back(current);
      current.clear();
      any = false;
    } else {
      current += c;
      any = true;
    }
  }
  if (any) out.push_back(current);
  return out;
}

DWORD Setting(const wchar_t* name, DWORD otherwise) {
  wchar_t value[32];
  const DWORD length = GetEnvironmentVariableW(name, value, 32);
  return length && length < 32 ? DWORD(wcstoul(value, nullptr, 10)) : otherwise;
}

}  // namespace

int main() {
  const std::vector<std::wstring> commandLine = Arguments(GetCommandLineW());
  if (commandLine.size() < 2 || commandLine.back().empty() || commandLine.back()[0] != L'@') return 3;
  bool ok = false;
  std::string response = ReadAll(commandLine.back().substr(1), ok);
  if (!ok) return 3;
  if (response.compare(0, 3, "\xEF\xBB\xBF") == 0) response.erase(0, 3);
  const std::vector<std::wstring> arguments = Arguments(Widen(response));
  std::wstring output;
  for (const std::wstring& argument : arguments)
    if (argument.compare(0, 5, L"/out:") == 0) output = argument.substr(5);
  if (output.empty() || arguments.empty()) return 3;
  const std::string source = ReadAll(arguments.back(), ok);
  if (!ok) return 3;
  const std::string assembly = "MZ compiled " + source;
  HANDLE file = CreateFileW(output.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  DWORD written = 0;
  WriteFile(file, assembly.data(), DWORD(assembly.size()), &written, nullptr);
  CloseHandle(file);
  Sleep(Setting(L"QM_CSC_DELAY_MS", 0));
  wchar_t runs[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"QM_CSC_RUNS", runs, MAX_PATH);
  if (length && length < MAX_PATH) {
    HANDLE counter = CreateFileW(runs, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (counter != INVALID_HANDLE_VALUE) {
      WriteFile(counter, "run\n", 4, &written, nullptr);
      CloseHandle(counter);
    }
  }
  return int(Setting(L"QM_CSC_EXIT_CODE", 0));
}
