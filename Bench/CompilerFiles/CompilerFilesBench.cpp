// The compiler's file work with the pack disabled and enabled, side by side.
//
// 1. bds.exe -run dccfiles <dirs> 150 <units> 3 with the shipped
//    Quillmend.dll registered as an expert, "Quillmend.DisabledPatches=*"
//    and without, for 15, 30 and 60 directories: per pass (cold after
//    SetCompState, warm, after touching 5% of the sources) the time, the file
//    queries and FindNextFileW calls bds.exe counts on kernel32, the outdated
//    check's file-age calls, and the ratios; the passes' checksums must agree.
// 2. In this process: a 20 MB map and a 5 MB resource list (100-byte records)
//    written by the stand-in compiler, its writes counted before and after
//    the output patches are installed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "Patches/Compiler/CompilerOptimization.h"
#include "dcc150/DccFilesDriver.h"

namespace {

constexpr int Files = 150;
constexpr int Passes = 3;
const struct {
  int Dirs, Units;
} Sizes[] = {{15, 375}, {30, 750}, {60, 1500}};
const char* const PassTitles[Passes] = {"cold", "warm", "touched"};
const std::wstring RegKey = L"QmBench-DccFiles";

struct TPass {
  double Ms = 0;
  unsigned Queries = 0, FindNext = 0, CheckAges = 0;
  std::wstring Checksums;
};

std::wstring Parent(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/")); }

std::wstring BuildDirectory() {
  wchar_t path[MAX_PATH];
  return Parent(Parent(std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH))));
}

std::wstring Widen(const std::string& text) {
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring result(size_t(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), result.data(), n);
  return result;
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

unsigned Field(const std::wstring& line, const wchar_t* name) {
  const size_t at = line.find(name);
  return at == std::wstring::npos ? 0 : unsigned(std::wcstoul(line.c_str() + at + wcslen(name), nullptr, 10));
}

// One bds.exe run in <build>\bench\dccfiles; false unless every pass was journaled.
bool RunIde(const std::wstring& build, int dirs, int units, bool packEnabled, std::vector<TPass>& passes) {
  const std::wstring work = build + L"\\bench\\dccfiles";
  CreateDirectoryW((build + L"\\bench").c_str(), nullptr);
  CreateDirectoryW(work.c_str(), nullptr);
  const std::wstring journal = work + L"\\journal.txt";
  DeleteFileW(journal.c_str());
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", packEnabled ? nullptr : L"*");
  std::wstring command = L"\"" + build + L"\\host\\bds.exe\" -r" + RegKey + L" -journal \"" + journal +
                         L"\" -run dccfiles " + std::to_wstring(dirs) + L" " + std::to_wstring(Files) + L" " +
                         std::to_wstring(units) + L" " + std::to_wstring(Passes);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, work.c_str(), &startup, &process))
    return false;
  DWORD exitCode = 1;
  if (WaitForSingleObject(process.hProcess, 900000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 999);
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::ifstream file(journal.c_str(), std::ios::binary);
  passes.clear();
  for (std::string raw; std::getline(file, raw);) {
    const std::wstring line = Widen(raw);
    if (line.compare(0, 14, L"DCCFILES-PASS ") != 0) continue;
    TPass pass;
    pass.Ms = std::wcstod(line.c_str() + line.find(L" ms=") + 4, nullptr);
    pass.Queries = Field(line, L" queries=");
    pass.FindNext = Field(line, L" findnext=");
    pass.CheckAges = Field(line, L" checkages=");
    const size_t rest = line.find(L" searches=");
    pass.Checksums = line.substr(rest, line.find(L" checkages=") - rest);
    passes.push_back(pass);
  }
  return exitCode == 0 && passes.size() == size_t(Passes);
}

double Ratio(double off, double on) { return on > 0 ? off / on : 0; }

bool IdeRuns(const std::wstring& build) {
  std::printf("File search in the stand-in IDE: bds.exe -run dccfiles <dirs> %d <units> %d, pack disabled "
              "(Quillmend.DisabledPatches=*) and enabled\n",
              Files, Passes);
  std::printf("%5s %5s %-8s %10s %10s %7s %9s %9s %8s %9s %9s %10s %10s\n", "dirs", "units", "pass", "off ms",
              "on ms", "ratio", "off qry", "on qry", "q-ratio", "off next", "on next", "off ages", "on ages");
  bool ok = true;
  for (const auto& size : Sizes) {
    std::vector<TPass> off, on;
    if (!RunIde(build, size.Dirs, size.Units, false, off) || !RunIde(build, size.Dirs, size.Units, true, on)) {
      std::printf("bds.exe -run dccfiles %d %d %d %d did not finish\n", size.Dirs, Files, size.Units, Passes);
      return false;
    }
    for (int p = 0; p < Passes; ++p) {
      const TPass& a = off[size_t(p)];
      const TPass& b = on[size_t(p)];
      std::printf("%5d %5d %-8s %10.1f %10.1f %6.1fx %9u %9u %7.0fx %9u %9u %10u %10u%s\n", size.Dirs, size.Units,
                  PassTitles[p], a.Ms, b.Ms, Ratio(a.Ms, b.Ms), a.Queries, b.Queries,
                  Ratio(a.Queries, b.Queries ? b.Queries : 1), a.FindNext, b.FindNext, a.CheckAges, b.CheckAges,
                  a.Checksums == b.Checksums ? "" : "  CHECKSUMS DIFFER");
      ok &= a.Checksums == b.Checksums;
    }
  }
  return ok;
}

// The map and the resource list written by the stand-in compiler in this
// process, before and after the compiler patches are installed.
bool OutputWrites(const std::wstring& build) {
  HMODULE dcc = LoadLibraryW((build + L"\\host\\dcc150.dll").c_str());
  DccFilesDriver::Driver driver;
  if (!dcc || !driver.Bind(dcc)) return false;
  const std::wstring work = build + L"\\bench\\output";
  CreateDirectoryW((build + L"\\bench").c_str(), nullptr);
  CreateDirectoryW(work.c_str(), nullptr);
  SetCurrentDirectoryW(work.c_str());
  constexpr uint32_t MapBytes = 20u << 20;
  constexpr int32_t DrcRecords = (5 << 20) / 100;
  struct {
    int32_t Map;
    uint32_t Drc;
  } writes[2] = {};
  for (int on = 0; on < 2; ++on) {
    if (on) {
      SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
      Quillmend::InstallCompilerOptimization();
    }
    writes[on].Map = driver.WriteMap("bench.map", MapBytes);
    if (writes[on].Map < 0 || driver.WriteDrc("bench.drc", DrcRecords, &writes[on].Drc) != 0) return false;
  }
  std::printf("\nOutput files of the stand-in compiler (100-byte records), writes without and with the patches\n");
  std::printf("%-26s %10s %10s %8s %14s\n", "file", "off", "on", "ratio", "bytes/write on");
  const double mapOut = MapBytes + MapBytes / 100.0;  // each record's line feed becomes CR LF
  std::printf("%-26s %10d %10d %7.0fx %14.0f\n", "map, 20 MB (text)", writes[0].Map, writes[1].Map,
              Ratio(writes[0].Map, writes[1].Map), mapOut / writes[1].Map);
  std::printf("%-26s %10u %10u %7.0fx %14.0f\n", "resource list, 5 MB", writes[0].Drc, writes[1].Drc,
              Ratio(writes[0].Drc, writes[1].Drc), double(DrcRecords) * 100 / writes[1].Drc);
  DeleteFileW((work + L"\\bench.map").c_str());
  DeleteFileW((work + L"\\bench.drc").c_str());
  return true;
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
  bool ok = IdeRuns(build);
  ok = OutputWrites(build) && ok;
  RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Embarcadero\\" + RegKey).c_str());
  return ok ? 0 : 1;
}
