#include "BdsRun.h"

#include <windows.h>

#include <algorithm>

#include "Common/Journal.h"

namespace QmHostTest {

std::wstring BuildDir() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  dir = dir.substr(0, dir.find_last_of(L"\\/"));    // <build>\bin
  return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

std::wstring HostDir() { return BuildDir() + L"host\\"; }
std::wstring FixtureDir() { return BuildDir() + L"testhost-fixtures\\"; }

namespace {

std::wstring RootPath(const std::wstring& regKey) { return L"Software\\Embarcadero\\" + regKey + L"\\8.0"; }

} // namespace

TestRoot::TestRoot(const std::wstring& regKey) : regKey_(regKey) {
  RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Embarcadero\\" + regKey_).c_str());
  HKEY key = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER, RootPath(regKey_).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (key) RegCloseKey(key);
}

TestRoot::~TestRoot() { RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Embarcadero\\" + regKey_).c_str()); }

void TestRoot::SetValue(const std::wstring& subKey, const std::wstring& name, const std::wstring& data) {
  HKEY key = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER, (RootPath(regKey_) + L"\\" + subKey).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                  nullptr, &key, nullptr);
  if (!key) return;
  RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                 static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

bool BdsResult::Has(const std::wstring& line) const { return IndexOf(line) >= 0; }

int BdsResult::IndexOf(const std::wstring& line) const {
  auto it = std::find(journal.begin(), journal.end(), line);
  return it == journal.end() ? -1 : static_cast<int>(it - journal.begin());
}

std::vector<std::wstring> BdsResult::Starting(const std::wstring& prefix) const {
  std::vector<std::wstring> out;
  for (const auto& line : journal)
    if (line.compare(0, prefix.size(), prefix) == 0) out.push_back(line);
  return out;
}

BdsResult RunBds(const std::wstring& regKey, const std::wstring& args,
                 const std::vector<std::pair<std::wstring, std::wstring>>& environment) {
  BdsResult result;
  wchar_t tempDir[MAX_PATH], journal[MAX_PATH];
  GetTempPathW(MAX_PATH, tempDir);
  GetTempFileNameW(tempDir, L"jnl", 0, journal);
  std::wstring command = L"\"" + HostDir() + L"bds.exe\" -r" + regKey + L" -journal \"" + journal + L"\" " + args;
  for (const auto& [name, value] : environment) SetEnvironmentVariableW(name.c_str(), value.c_str());
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                &process);
  for (const auto& [name, value] : environment) SetEnvironmentVariableW(name.c_str(), nullptr);
  if (!started) {
    result.exitCode = 0xFFFFFFFF;
    return result;
  }
  if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 0xDEAD);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  result.exitCode = code;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  result.journal = QmHost::ReadJournalLines(journal);
  DeleteFileW(journal);
  return result;
}

} // namespace QmHostTest
