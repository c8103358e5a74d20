#include "CheckRun.h"

#include <windows.h>

#include "TestFiles.h"
#include "TestPaths.h"

namespace {

const std::wstring Embarcadero = L"Software\\Embarcadero\\";

void SetString(const std::wstring& key, const std::wstring& name, const std::wstring& value) {
  RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), REG_SZ, value.c_str(),
                  DWORD((value.size() + 1) * sizeof(wchar_t)));
}

HANDLE OutputFile(const std::wstring& path) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

}  // namespace

std::vector<std::wstring> FilesIn(const std::wstring& directory) {
  std::vector<std::wstring> files;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((directory + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return files;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) files.push_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return files;
}

TCheckInstallation::TCheckInstallation(const std::wstring& name, const std::vector<std::wstring>& directories)
    : RegKey(L"QmCheck-" + name) {
  const std::wstring testing = BuildDirectory() + L"\\Testing";
  const std::wstring work = testing + L"\\Check\\" + name;
  for (const std::wstring& dir : {testing, testing + L"\\Check", work}) CreateDirectoryW(dir.c_str(), nullptr);
  Root = work + L"\\RAD Studio";
  Bin = Root + L"\\bin";
  CreateDirectoryW(Root.c_str(), nullptr);
  CreateDirectoryW(Bin.c_str(), nullptr);
  for (const std::wstring& file : FilesIn(Bin)) DeleteFileW((Bin + L"\\" + file).c_str());
  for (const std::wstring& dir : directories)
    for (const std::wstring& file : FilesIn(dir)) CopyFileW((dir + L"\\" + file).c_str(), (Bin + L"\\" + file).c_str(), FALSE);
  RegDeleteTreeW(HKEY_CURRENT_USER, (Embarcadero + RegKey).c_str());
  SetRootValue(L"ProductVersion", L"15");
  SetRootValue(L"RootDir", Root + L"\\");
}

TCheckInstallation::~TCheckInstallation() { RegDeleteTreeW(HKEY_CURRENT_USER, (Embarcadero + RegKey).c_str()); }

void TCheckInstallation::SetRootValue(const std::wstring& name, const std::wstring& value) const {
  SetString(Embarcadero + RegKey + L"\\8.0", name, value);
}

void TCheckInstallation::WriteBinFile(const std::wstring& file, const std::string& bytes) const {
  HANDLE handle = CreateFileW((Bin + L"\\" + file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  if (!bytes.empty()) WriteFile(handle, bytes.data(), DWORD(bytes.size()), &written, nullptr);
  CloseHandle(handle);
}

void TCheckInstallation::RemoveBinFile(const std::wstring& file) const { DeleteFileW((Bin + L"\\" + file).c_str()); }

std::vector<std::string> TCheckRun::OutLines() const {
  std::vector<std::string> lines;
  for (size_t start = 0; start < Out.size();) {
    size_t end = Out.find("\r\n", start);
    if (end == std::string::npos) end = Out.size();
    lines.push_back(Out.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

TCheckRun RunCheck(const std::vector<std::wstring>& arguments,
                   const std::vector<std::pair<std::wstring, std::wstring>>& environment) {
  const std::wstring build = BuildDirectory();
  const std::wstring out = build + L"\\Testing\\check-stdout-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
  const std::wstring err = build + L"\\Testing\\check-stderr-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
  std::wstring command = L"\"" + build + L"\\out\\QuillmendCheck.exe\"";
  for (const std::wstring& argument : arguments) command += L" " + argument;
  for (const auto& [name, value] : environment) SetEnvironmentVariableW(name.c_str(), value.c_str());
  TCheckRun run;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = OutputFile(out);
  startup.hStdError = OutputFile(err);
  PROCESS_INFORMATION process = {};
  if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 999);
    GetExitCodeProcess(process.hProcess, &run.ExitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  } else {
    run.ExitCode = 1000 + GetLastError();
  }
  CloseHandle(startup.hStdOutput);
  CloseHandle(startup.hStdError);
  for (const auto& variable : environment) SetEnvironmentVariableW(variable.first.c_str(), nullptr);
  run.Out = QuillmendTest::ReadFileBytes(out);
  run.Err = QuillmendTest::ReadFileBytes(err);
  DeleteFileW(out.c_str());
  DeleteFileW(err.c_str());
  return run;
}
