// The check over a whole IDE: time to open the modules and dry-run every
// shipped plan, and what the pattern search costs in it (time, and bytes
// gone over per module against the module's code size), for the stand-in
// installation and for stand-ins padded to the size of the IDE's modules.
#include <cstdio>
#include <map>
#include <string>
#include <vector>
#include <windows.h>

#include "Check/IdeCheck.h"
#include "Common/BenchTimer.h"
#include "Hooking/PatternSearch.h"

using namespace Quillmend;

namespace {

struct TScan {
  size_t Searches = 0;
  size_t Bytes = 0;
  double Seconds = 0;
};
std::map<const void*, TScan> g_scans;

void Observe(const void* base, size_t bytes, double seconds) {
  TScan& scan = g_scans[base];
  ++scan.Searches;
  scan.Bytes += bytes;
  scan.Seconds += seconds;
}

std::wstring BuildDirectory() {
  wchar_t path[MAX_PATH];
  std::wstring program(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  program = program.substr(0, program.find_last_of(L'\\'));
  return program.substr(0, program.find_last_of(L'\\'));
}

void CopyFiles(const std::wstring& from, const std::wstring& to) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((from + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      CopyFileW((from + L"\\" + found.cFileName).c_str(), (to + L"\\" + found.cFileName).c_str(), FALSE);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

std::vector<const TUnitInfo*> Units() { return {PatchUnits, PatchUnits + PatchUnitCount}; }

double MB(size_t bytes) { return double(bytes) / (1 << 20); }

std::vector<TPatchCheck> Measure(const char* title, const std::wstring& bin) {
  std::printf("== %s\n", title);
  // Timed without the observer (it measures every search).
  const double seconds = Bench::BestSeconds(5, [&] {
    TIdeModules modules(bin);
    CheckIde(modules, Units());
  });
  g_scans.clear();
  SetPatternSearchObserver(&Observe);
  TIdeModules modules(bin);
  const double start = Bench::Now();
  TIdeCheck check = CheckIde(modules, Units());
  const double observed = Bench::Now() - start;
  SetPatternSearchObserver(nullptr);

  double searchSeconds = 0;
  for (const auto& scan : g_scans) searchSeconds += scan.second.Seconds;
  std::printf("   %zu plans, modules opened and every plan checked: %.1f ms (best of 5)\n", check.Patches.size(),
              seconds * 1e3);
  std::printf("   pattern search: %.1f ms of %.1f ms in the measured run (%.0f%%)\n", searchSeconds * 1e3, observed * 1e3,
              observed > 0 ? 100 * searchSeconds / observed : 0.0);
  for (const TModuleEntry* entry : modules.IdeModules()) {
    if (entry->State != TModuleState::Image) continue;
    const TScan scan = g_scans[entry->Image->Base()];
    const size_t code = entry->Image->CodeSize();
    std::printf("   %-16ls code %6.2f MB, %3zu searches went over %7.2f MB (%.1fx its code) in %.2f ms\n",
                entry->Name.c_str(), MB(code), scan.Searches, MB(scan.Bytes), code ? double(scan.Bytes) / code : 0.0,
                scan.Seconds * 1e3);
  }
  std::printf("   verdicts: %zu apply, %zu fail\n", check.Count(TCheckVerdict::Applies), check.Count(TCheckVerdict::Fails));
  return check.Patches;
}

}  // namespace

int main() {
  const std::wstring build = BuildDirectory();
  const std::vector<TPatchCheck> plain = Measure("check: stand-in installation", build + L"\\host");
  // The padded modules over a copy of the stand-in installation.
  const std::wstring padded = build + L"\\bench-padded\\bin";
  CreateDirectoryW(padded.c_str(), nullptr);
  CopyFiles(build + L"\\host", padded);
  CopyFiles(build + L"\\bench-padded", padded);
  const std::vector<TPatchCheck> big = Measure("check: stand-ins padded to the IDE's module sizes", padded);
  bool same = plain.size() == big.size();
  for (size_t i = 0; same && i < plain.size(); ++i) same = plain[i].Verdict == big[i].Verdict;
  std::printf("   verdicts %s the stand-in installation's\n", same ? "equal" : "DIFFER FROM");
  return same ? 0 : 1;
}
