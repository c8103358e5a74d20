#include "IdeRun.h"

#include <cwchar>
#include <fstream>
#include <sstream>
#include <windows.h>

#include "Common/Journal.h"

namespace {

std::vector<std::string> ReadLines(const std::wstring& path) {
  std::vector<std::string> lines;
  std::ifstream file(path.c_str(), std::ios::binary);
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

void SetValue(HKEY key, const std::wstring& name, const std::wstring& data) {
  RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                 DWORD((data.size() + 1) * sizeof(wchar_t)));
}

HKEY CreateKey(const std::wstring& path) {
  HKEY key = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  return key;
}

// Sets variables for the time of one run and puts the previous values back.
class TEnvironmentScope {
public:
  explicit TEnvironmentScope(const std::vector<std::pair<std::wstring, std::wstring>>& variables) {
    for (const auto& [name, value] : variables) {
      DWORD n = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
      std::wstring old(n, L'\0');
      bool had = n > 0 && GetEnvironmentVariableW(name.c_str(), old.data(), n) < n;
      if (had) old.resize(old.size() - 1);
      saved_.push_back({name, old, had});
      SetEnvironmentVariableW(name.c_str(), value.c_str());
    }
  }
  ~TEnvironmentScope() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
      SetEnvironmentVariableW(it->Name.c_str(), it->Had ? it->Value.c_str() : nullptr);
  }

private:
  struct TSaved {
    std::wstring Name, Value;
    bool Had;
  };
  std::vector<TSaved> saved_;
};

}  // namespace

std::vector<std::wstring> TIdeRun::Lines(const std::wstring& prefix) const {
  std::vector<std::wstring> result;
  for (const auto& line : Journal)
    if (line.compare(0, prefix.size(), prefix) == 0) result.push_back(line.substr(prefix.size()));
  return result;
}

size_t TIdeRun::Count(const std::string& event) const {
  size_t n = 0;
  for (const auto& e : Events) n += e == event;
  return n;
}

bool TIdeRun::Saw(const std::wstring& line) const {
  for (const auto& l : Journal)
    if (l == line) return true;
  return false;
}

TIdeRun RunIde(const TIdeSetup& setup) {
  TIdeRun run;
  const std::wstring build = BuildDirectory();
  run.Directory = build + L"\\Testing\\" + setup.Suite + L"\\" + setup.Name;
  CreateDirectoryW((build + L"\\Testing").c_str(), nullptr);
  CreateDirectoryW((build + L"\\Testing\\" + setup.Suite).c_str(), nullptr);
  CreateDirectoryW(run.Directory.c_str(), nullptr);
  const std::wstring library = run.Directory + L"\\Quillmend.dll";
  const std::wstring package = run.Directory + L"\\QuillmendStartup.bpl";
  const std::wstring journal = run.Directory + L"\\journal.txt";
  const std::wstring events = run.Directory + L"\\events.txt";
  DeleteFileW(library.c_str());
  DeleteFileW(journal.c_str());
  DeleteFileW(events.c_str());
  CopyFileW((build + L"\\out\\QuillmendStartup.bpl").c_str(), package.c_str(), FALSE);
  // Without the library beside the package, the expert is loaded from the test build's own directory.
  std::wstring expert = setup.Library.empty() ? build + L"\\testlib\\Quillmend.dll" : setup.Library;
  if (setup.LibraryBesidePackage) {
    CopyFileW(expert.c_str(), library.c_str(), FALSE);
    expert = library;
  }

  const std::wstring regKey = L"QmTest-" + setup.Name;
  const std::wstring root = L"Software\\Embarcadero\\" + regKey;
  RegDeleteTreeW(HKEY_CURRENT_USER, root.c_str());
  HKEY packages = CreateKey(root + L"\\8.0\\Known IDE Packages");
  if (setup.StartupPackage) SetValue(packages, package, L"Quillmend Startup");
  for (const auto& [path, description] : setup.Packages) SetValue(packages, path, description);
  RegCloseKey(packages);
  if (!setup.DesignPackages.empty()) {
    HKEY design = CreateKey(root + L"\\8.0\\Known Packages");
    for (const auto& [path, description] : setup.DesignPackages) SetValue(design, path, description);
    RegCloseKey(design);
  }
  HKEY experts = CreateKey(root + L"\\8.0\\Experts");
  for (int i = 0; i < setup.ExpertRegistrations; ++i)
    SetValue(experts, L"Quillmend" + std::to_wstring(i + 1), expert);
  RegCloseKey(experts);

  SetEnvironmentVariableW(L"QuillmendTest.Patches", setup.Patches.c_str());
  SetEnvironmentVariableW(L"QuillmendTest.Log", events.c_str());
  TEnvironmentScope environment(setup.Environment);
  const std::wstring host = setup.HostDirectory.empty() ? build + L"\\host" : setup.HostDirectory;
  std::wstring command = L"\"" + host + L"\\bds.exe\" -r" + regKey + L" -journal \"" + journal + L"\"";
  for (const auto& argument : setup.Arguments) command += L" " + argument;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 999);
    GetExitCodeProcess(process.hProcess, &run.ExitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  } else {
    run.ExitCode = 1000 + GetLastError();
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, root.c_str());

  for (const auto& line : QmHost::ReadJournalLines(journal)) run.Journal.push_back(QmHost::JournalUnescape(line));
  run.Events = ReadLines(events);
  return run;
}

std::vector<TMessageBox> MessageBoxes(const TIdeRun& run) {
  // "owner=<hex> caption=<text> style=<hex> text=<text>"; the caption never holds " style=".
  std::vector<TMessageBox> boxes;
  for (const auto& line : run.Lines(L"MESSAGEBOX ")) {
    size_t caption = line.find(L" caption="), style = line.find(L" style="), text = line.find(L" text=", style);
    if (caption == std::wstring::npos || style == std::wstring::npos || text == std::wstring::npos) continue;
    TMessageBox box;
    box.Caption = line.substr(caption + 9, style - caption - 9);
    box.Style = std::wcstoul(line.c_str() + style + 7, nullptr, 16);
    box.Text = line.substr(text + 6);
    boxes.push_back(box);
  }
  return boxes;
}
