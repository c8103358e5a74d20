// Live GDI bitmap handles in the stand-in IDE with the pack disabled and
// enabled, side by side: Quillmend.dll from <build>/out is registered as an
// expert (its start-up package as the first IDE package) under a registry
// root of the benchmark's own, and bds.exe runs "-run gdihandles <n>" for
// 10, 100 and 1,000 tool bars, painted tab set scrollers and image lists
// (16 x 16, and three sizes mixed). Goals with the pack: at most 1 handle for
// all tool bars, 0 for painted scrollers, one per distinct size for image lists.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>

namespace {

constexpr int Counts[] = {10, 100, 1000};
const std::wstring RegKey = L"QmBench-GdiHandles";

struct TBatch {
  const wchar_t* Name;
  const char* Title;
  int Goal;  // most bitmaps the batch may hold with the pack
};
const TBatch Batches[] = {
    {L"toolbars", "tool bars", 1},
    {L"scrollers-painted", "scrollers, painted", 0},
    {L"imagelists-16x16", "image lists 16x16", 1},
    {L"imagelists-3-sizes", "image lists, 3 sizes", 3},
};

std::wstring Parent(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/")); }

std::wstring BuildDirectory() {
  wchar_t path[MAX_PATH];
  return Parent(Parent(std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH))));
}

bool SetValue(const std::wstring& key, const std::wstring& name, const std::wstring& data) {
  HKEY handle = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr))
    return false;
  LONG status = RegSetValueExW(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                               DWORD((data.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
  return status == ERROR_SUCCESS;
}

// Bitmaps each batch held (live - before), by batch name; empty if the run failed.
std::map<std::wstring, int> RunIde(const std::wstring& build, int count, bool packEnabled) {
  const std::wstring journal = build + L"\\bench-gdi-journal.txt";
  DeleteFileW(journal.c_str());
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", packEnabled ? nullptr : L"*");
  std::wstring command = L"\"" + build + L"\\host\\bds.exe\" -r" + RegKey + L" -journal \"" + journal +
                         L"\" -run gdihandles " + std::to_wstring(count);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::map<std::wstring, int> held;
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return held;
  DWORD exitCode = 1;
  if (WaitForSingleObject(process.hProcess, 600000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 999);
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (exitCode != 0) return held;
  std::ifstream file(journal.c_str(), std::ios::binary);
  std::string line;
  while (std::getline(file, line)) {
    if (line.compare(0, 12, "GDI-BITMAPS ") != 0) continue;
    const size_t name = line.find(' ', 12), before = line.find(" before="), live = line.find(" live=");
    if (name == std::string::npos || before == std::string::npos || live == std::string::npos) continue;
    const std::string what = line.substr(12, name - 12);
    held[std::wstring(what.begin(), what.end())] = std::stoi(line.substr(live + 6)) - std::stoi(line.substr(before + 8));
  }
  return held;
}

} // namespace

int main() {
  const std::wstring build = BuildDirectory();
  const std::wstring root = L"Software\\Embarcadero\\" + RegKey + L"\\8.0";
  RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Embarcadero\\" + RegKey).c_str());
  if (!SetValue(root + L"\\Experts", L"Quillmend", build + L"\\out\\Quillmend.dll") ||
      !SetValue(root + L"\\Known IDE Packages", build + L"\\out\\QuillmendStartup.bpl", L"Quillmend Startup")) {
    std::printf("cannot register the pack under HKCU\\%ls\n", root.c_str());
    return 1;
  }
  std::printf("Live GDI bitmap handles held by each batch in the stand-in IDE (bds.exe -run gdihandles <n>),\n"
              "pack disabled (Quillmend.DisabledPatches=*) and enabled\n");
  std::printf("%6s  %-22s %9s %9s %6s\n", "n", "batch", "pack off", "pack on", "goal");
  bool ok = true;
  for (int count : Counts) {
    std::map<std::wstring, int> off = RunIde(build, count, false);
    std::map<std::wstring, int> on = RunIde(build, count, true);
    if (off.size() != 6 || on.size() != 6) {
      std::printf("bds.exe -run gdihandles %d did not finish\n", count);
      ok = false;
      break;
    }
    for (const TBatch& batch : Batches) {
      const bool met = on[batch.Name] <= batch.Goal;
      std::printf("%6d  %-22s %9d %9d %4s%d%s\n", count, batch.Title, off[batch.Name], on[batch.Name], "<=",
                  batch.Goal, met ? "" : "  MISSED");
      ok &= met;
    }
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Embarcadero\\" + RegKey).c_str());
  std::printf(ok ? "every goal met\n" : "FAILED\n");
  return ok ? 0 : 1;
}
