// The compiler workload in the stand-in IDE with the pack disabled and
// enabled, side by side: Quillmend.dll from <build>/out is registered as an
// expert (and its start-up package as the first IDE package) under a registry
// root of the benchmark's own, and bds.exe runs "-run dcc <units> 15" with
// "Quillmend.DisabledPatches=*" and without, alternately, three times each
// per size. The best time of each phase counts (the machine is shared); the
// phases' checksums must agree between all runs of a size.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "dcc150/DccDriver.h"

namespace {

namespace Phase = DccDriver::Phase;

constexpr int Imports = 15;
constexpr int Sizes[] = {250, 1000, 4000};
constexpr int Repeats = 3;
constexpr int Phases = Phase::Count;
const char* const PhaseTitles[Phases] = {"load",   "lookup",  "reset 10%", "recompile",
                                         "unitof", "symbols", "free all"};
const std::wstring RegKey = L"QmBench-DccWorkload";
// The entries that must be listed as applied in a run with the pack.
const std::wstring AppliedEntries[] = {L"applied: Compiler optimizations [Compiler.Optimization]",
                                       L"applied: GetUnitOf optimization [Compiler.GetUnitOf]",
                                       L"applied: GetUnitOf Import optimization [Compiler.GetUnitOf.Imports]",
                                       L"applied: HashTable for SymLookup [Compiler.SymLookup]"};

struct TResult {
  double Ms[Phases];
  std::wstring Checksum[Phases];
  bool PackApplied = false;
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

// One bds.exe run; false if it did not finish in order with every phase.
bool RunIde(const std::wstring& build, int units, bool packEnabled, TResult& result) {
  const std::wstring journal = build + L"\\bench-dcc-journal.txt";
  DeleteFileW(journal.c_str());
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", packEnabled ? nullptr : L"*");
  std::wstring command = L"\"" + build + L"\\host\\bds.exe\" -r" + RegKey + L" -journal \"" + journal +
                         L"\" -run dcc " + std::to_wstring(units) + L" " + std::to_wstring(Imports);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return false;
  DWORD exitCode = 1;
  if (WaitForSingleObject(process.hProcess, 600000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 999);
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);

  std::ifstream file(journal.c_str(), std::ios::binary);
  std::string raw;
  int phases = 0;
  result.PackApplied = false;
  while (std::getline(file, raw)) {
    std::wstring line = Widen(raw);
    if (line.compare(0, 10, L"ABOUT-ADD ") == 0) {
      // Status lines are separated by an escaped CR LF in the journal.
      result.PackApplied = true;
      for (const std::wstring& entry : AppliedEntries)
        result.PackApplied &= line.find(L"\\r\\n" + entry) != std::wstring::npos;
      continue;
    }
    if (line.compare(0, 10, L"DCC-PHASE ") != 0) continue;
    size_t ms = line.find(L" ms="), checksum = line.find(L" checksum=");
    if (ms == std::wstring::npos || checksum == std::wstring::npos) continue;
    std::wstring name = line.substr(10, ms - 10);
    for (int p = 0; p < Phases; ++p) {
      if (name != Phase::Names[p]) continue;
      result.Ms[p] = std::wcstod(line.c_str() + ms + 4, nullptr);
      result.Checksum[p] = line.substr(checksum + 10);
      ++phases;
    }
  }
  return exitCode == 0 && phases == Phases;
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

  std::printf("Compiler patches in the stand-in IDE: bds.exe -run dcc <units> %d, pack disabled "
              "(Quillmend.DisabledPatches=*) and enabled, best of %d runs each\n",
              Imports, Repeats);
  std::printf("%6s  %-13s %12s %12s %9s\n", "units", "phase", "pack off ms", "pack on ms", "ratio");
  bool ok = true;
  for (int units : Sizes) {
    TResult best[2];
    bool same = true;
    for (int r = 0; r < Repeats && ok; ++r) {
      // Alternating, so that a change of the machine's load hits both alike.
      for (int on = 0; on < 2; ++on) {
        TResult run;
        if (!RunIde(build, units, on == 1, run)) {
          std::printf("bds.exe -run dcc %d %d (pack %s) did not finish\n", units, Imports, on ? "on" : "off");
          ok = false;
          break;
        }
        if (run.PackApplied != (on == 1)) {
          std::printf("the pack's compiler patches were %sapplied in a run with the pack %s\n",
                      run.PackApplied ? "" : "not ", on ? "on" : "off");
          ok = false;
        }
        for (int p = 0; p < Phases; ++p) {
          if (r == 0 || run.Ms[p] < best[on].Ms[p]) best[on].Ms[p] = run.Ms[p];
          if (r == 0 && on == 0) best[0].Checksum[p] = run.Checksum[p];
          same &= run.Checksum[p] == best[0].Checksum[p];
        }
      }
    }
    if (!ok) break;
    for (int p = 0; p < Phases; ++p) {
      double ratio = best[1].Ms[p] > 0 ? best[0].Ms[p] / best[1].Ms[p] : 0;
      std::printf("%6d  %-13s %12.3f %12.3f %8.1fx\n", units, PhaseTitles[p], best[0].Ms[p], best[1].Ms[p], ratio);
    }
    if (!same) {
      std::printf("%6d  CHECKSUMS DIFFER\n", units);
      ok = false;
    }
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Embarcadero\\" + RegKey).c_str());
  std::printf(ok ? "checksums equal\n" : "FAILED\n");
  return ok ? 0 : 1;
}
