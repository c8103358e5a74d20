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
bool g_failed = false;

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

// One way of searching: the time of the whole check (best of 5, without the
// observer, which times every search), then one observed run.
TIdeCheck MeasureOne(const std::wstring& bin, bool searchModulesOnce, double& seconds) {
  seconds = Bench::BestSeconds(5, [&] {
    TIdeModules modules(bin);
    CheckIde(modules, Units(), searchModulesOnce);
  });
  g_scans.clear();
  SetPatternSearchObserver(&Observe);
  TIdeModules modules(bin);
  const double start = Bench::Now();
  TIdeCheck check = CheckIde(modules, Units(), searchModulesOnce);
  const double observed = Bench::Now() - start;
  SetPatternSearchObserver(nullptr);

  double searchSeconds = 0;
  for (const auto& scan : g_scans) searchSeconds += scan.second.Seconds;
  std::printf("   %s: %zu plans checked, modules opened, in %.1f ms (best of 5); pattern search %.1f of %.1f ms (%.0f%%)\n",
              searchModulesOnce ? "each module searched once for all its patterns" : "one search per pattern",
              check.Patches.size(), seconds * 1e3, searchSeconds * 1e3, observed * 1e3,
              observed > 0 ? 100 * searchSeconds / observed : 0.0);
  for (const TModuleEntry* entry : modules.IdeModules()) {
    if (entry->State != TModuleState::Image) continue;
    const TScan scan = g_scans[entry->Image->Base()];
    const size_t code = entry->Image->CodeSize();
    std::printf("     %-14ls code %5.2f MB: %2zu searches went over %6.2f MB (%.1fx its code) in %.2f ms\n",
                entry->Name.c_str(), MB(code), scan.Searches, MB(scan.Bytes), code ? double(scan.Bytes) / code : 0.0,
                scan.Seconds * 1e3);
  }
  return check;
}

// Both ways over one bin folder; their verdicts must agree.
std::vector<TPatchCheck> Measure(const char* title, const std::wstring& bin) {
  std::printf("== %s\n", title);
  double perPattern = 0, once = 0;
  const TIdeCheck a = MeasureOne(bin, false, perPattern);
  const TIdeCheck b = MeasureOne(bin, true, once);
  bool same = a.Patches.size() == b.Patches.size();
  for (size_t i = 0; same && i < a.Patches.size(); ++i)
    same = a.Patches[i].Verdict == b.Patches[i].Verdict && a.Patches[i].Reason == b.Patches[i].Reason;
  std::printf("   verdicts: %zu apply, %zu fail; the same both ways: %s; one search per pattern / once per module: %.1fx\n",
              b.Count(TCheckVerdict::Applies), b.Count(TCheckVerdict::Fails), same ? "yes" : "NO",
              once > 0 ? perPattern / once : 0.0);
  if (!same) g_failed = true;
  return b.Patches;
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
  return same && !g_failed ? 0 : 1;
}
