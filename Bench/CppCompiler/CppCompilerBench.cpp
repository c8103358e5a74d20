// The C++ compiler patches measured against the stand-ins in one process:
// every workload runs as the compiler does it (the pack disabled), then the
// C++-compiler-init procedures install the patches and it runs again
// (enabled); the compiler patches are undone and it starts over, Rounds
// times. Results must be equal; the best times and their ratio are printed.
//   interning: 5,000 / 50,000 / 200,000 distinct C-like identifiers, 10^6 calls
//   symbol lookups: contexts of 1,000 / 10,000 / 50,000 symbols, 90% repeats
//   stricmp, integer suffixes: time and locale-helper calls
//   DoKibitzProgress: PeekMessageW calls per 10^5 progress callbacks
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "Common/BenchTimer.h"
#include "Framework/LibraryEntry.h"
#include "Framework/PatchRegistry.h"
#include "Hooking/CodeTransaction.h"
#include "Patches/CppCompiler/BccOptimizations.h"
#include "Patches/CppCompiler/CppCompilerOptimization.h"
#include "Patches/CppCompiler/DebuggerCppSymbolOptimization.h"
#include "TestHost/comp32x/Comp32xDriver.h"

namespace {

using Quillmend::Bench::Seconds;

Comp32xDriver::TDriver g_compiler;
constexpr int InternCalls = 1000000;
constexpr int InternSizes[] = {5000, 50000, 200000};
constexpr int ContextSizes[] = {1000, 10000, 50000};
// Every first lookup of a name walks the compiler's list, cached or not: in a
// context of 50,000 symbols those walks alone take minutes, so that context
// gets 5 x 10^4 lookups. The compiler's own code is timed on fewer lookups
// (every one of them walks the list) and reported per lookup.
constexpr int Lookups[] = {1000000, 1000000, 50000};
constexpr int UnpatchedLookups[] = {100000, 20000, 1000};
// Disabled and enabled alternate this often (the patches are undone and
// installed again); the fastest run of each counts, the machine being shared.
constexpr int Rounds = 2;
constexpr int Compares = 1000000;
constexpr int ProgressCallbacks = 100000;

std::wstring Parent(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/")); }

std::wstring HostDirectory() {
  wchar_t path[MAX_PATH];
  return Parent(Parent(std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH)))) + L"\\host\\";
}

template <class T>
T Export(const wchar_t* module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(module), name)));
}

std::vector<std::string> Identifiers(int count, uint32_t randomSeed) {
  static const char first[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_";
  static const char rest[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_0123456789";
  std::mt19937 random(randomSeed);
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) {
    std::string name(1, first[random() % (sizeof first - 1)]);
    for (size_t n = 3 + random() % 14; name.size() < n;) name += rest[random() % (sizeof rest - 1)];
    names.push_back(name + "_" + std::to_string(i));
  }
  return names;
}

// ---- the workloads: each returns its checksum ------------------------------------

struct TInternRun {
  std::vector<const char*> Calls;
  uint32_t Checksum = 0;
  double Seconds = 0;
  Comp32xDriver::TChainStats Stats{};
};

void RunInterning(TInternRun& run) {
  g_compiler.ResetNames();
  run.Seconds = Seconds([&] { run.Checksum = g_compiler.InternMany(run.Calls.data(), int32_t(run.Calls.size())); });
  g_compiler.ChainStats(&run.Stats);
  g_compiler.ResetNames();  // a fresh compiler's table, as the patch wants it
}

struct TLookupRun {
  void* Context = nullptr;
  std::vector<std::string> Names;  // in lookup order
};

uint32_t RunLookups(const TLookupRun& run, int count) {
  g_compiler.SetCurrentContext(run.Context);
  uint32_t h = 2166136261u;
  for (int i = 0; i < count; ++i) h = (h ^ uint32_t(g_compiler.Lookup(run.Names[size_t(i)].c_str(), 0))) * 16777619u;
  return h;
}

double Ratio(double before, double after) { return after > 0 ? before / after : 0; }

}  // namespace

int main() {
  const std::wstring host = HostDirectory();
  for (const wchar_t* file : {L"comp32x.dll", L"win32debugide150.bpl", L"coreide150.bpl", L"delphicoreide150.bpl"})
    if (!LoadLibraryW((host + file).c_str())) {
      std::fwprintf(stderr, L"cannot load %ls\n", file);
      return 1;
    }
  if (!Comp32xDriver::Bind(GetModuleHandleW(L"comp32x.dll"), g_compiler)) return 1;

  // Workloads prepared before anything is timed.
  std::vector<TInternRun> intern(std::size(InternSizes));
  std::vector<std::vector<std::string>> internNames;
  for (size_t s = 0; s < std::size(InternSizes); ++s) {
    internNames.push_back(Identifiers(InternSizes[s], uint32_t(s + 1)));
    std::mt19937 random(uint32_t(100 + s));
    for (const std::string& n : internNames[s]) intern[s].Calls.push_back(n.c_str());
    while (intern[s].Calls.size() < size_t(InternCalls))
      intern[s].Calls.push_back(internNames[s][random() % internNames[s].size()].c_str());
  }
  std::vector<TLookupRun> lookups(std::size(ContextSizes));
  for (size_t s = 0; s < std::size(ContextSizes); ++s) {
    lookups[s].Context = g_compiler.NewContext(ContextSizes[s], uint32_t(7 + s));
    std::mt19937 random(uint32_t(200 + s));
    std::vector<std::string> used;
    for (int i = 0; i < Lookups[s]; ++i) {
      if (used.empty() || random() % 10 == 0) {  // 10% new names (one in ten absent), 90% repeats
        used.push_back(random() % 10 == 0 ? "absent_" + std::to_string(i)
                                          : g_compiler.SymbolName(lookups[s].Context, int32_t(random() % ContextSizes[s])));
        lookups[s].Names.push_back(used.back());
      } else {
        lookups[s].Names.push_back(used[random() % used.size()]);
      }
    }
  }
  const std::vector<std::string> words = Identifiers(2000, 99);
  std::vector<std::pair<std::string, std::string>> pairs;
  std::mt19937 random(5);
  for (int i = 0; i < 4000; ++i) {
    std::string a = words[random() % words.size()], b = random() % 2 ? a : words[random() % words.size()];
    for (char& c : b)
      if (random() % 4 == 0 && ((c | 0x20) >= 'a' && (c | 0x20) <= 'z')) c ^= 0x20;
    pairs.push_back({a, b});
  }
  const char* suffixes[] = {"u", "UL", "ull", "LLU", "l", "Lu", "uLL", "x", "LL", "U"};
  std::vector<const char*> suffixTexts;
  for (int i = 0; i < Compares; ++i) suffixTexts.push_back(suffixes[i % 10]);
  auto compare = [&] {
    int32_t sum = 0;
    for (int i = 0; i < Compares; ++i) {
      const auto& p = pairs[size_t(i) % pairs.size()];
      const int32_t r = g_compiler.Stricmp(p.first.c_str(), p.second.c_str());
      sum = sum * 3 + (r > 0) - (r < 0);
    }
    return sum;
  };
  auto runProgress = Export<int32_t(__stdcall*)(void*, int32_t)>(L"delphicoreide150.bpl", "DelphiCoreRunKibitzProgress");
  auto peekCalls = Export<uint32_t(__stdcall*)()>(L"delphicoreide150.bpl", "DelphiCorePeekMessageCalls");
  void* monitor = Export<void*(__stdcall*)(int32_t)>(L"coreide150.bpl", "KibitzingMonitorCreate")(0);

  // The progress patch is installed once per process (it is not a compiler
  // patch): measured before the first installation only.
  uint32_t peeks = peekCalls();
  int32_t progress = 0;
  const double progressBefore = Seconds([&] { progress = runProgress(monitor, ProgressCallbacks); });
  const uint32_t peeksBefore = peekCalls() - peeks;
  Quillmend::Unit_CppCompilerOptimization.Initialize();
  Quillmend::Unit_DebuggerCppSymbolOptimization.Initialize();
  Quillmend::Unit_BccOptimizations.Initialize();

  struct TTimes {
    double Disabled = 1e30, Enabled = 1e30;
    void Keep(double disabled, double enabled) {
      Disabled = std::min(Disabled, disabled);
      Enabled = std::min(Enabled, enabled);
    }
  };
  std::vector<TTimes> internTimes(intern.size()), lookupTimes(lookups.size());
  std::vector<TInternRun> internBefore;
  std::vector<double> hitRatio(lookups.size());
  TTimes compareTimes, scanTimes;
  uint32_t compareCalls[2] = {}, scanCalls[2] = {};
  bool same = true;
  for (int round = 0; round < Rounds; ++round) {
    // ---- disabled: the compiler's own code ----
    for (const wchar_t* patch : {L"CppCompiler.Optimizations", L"Debugger.CppDebugSymbolReader", L"bcc.stricmp",
                                 L"bcc.ltolowerCalls"})
      Quillmend::UndoTransactionsOf(patch);
    for (TInternRun& run : intern) RunInterning(run);
    internBefore = intern;
    std::vector<double> lookupBefore;
    std::vector<uint32_t> lookupSums;
    for (size_t s = 0; s < lookups.size(); ++s) {
      uint32_t sum = 0;
      lookupBefore.push_back(Seconds([&] { sum = RunLookups(lookups[s], UnpatchedLookups[s]); }) / UnpatchedLookups[s]);
      lookupSums.push_back(sum);
    }
    uint32_t calls = g_compiler.LocaleHelperCalls();
    int32_t compared = 0;
    const double compareBefore = Seconds([&] { compared = compare(); });
    compareCalls[0] = g_compiler.LocaleHelperCalls() - calls;
    calls = g_compiler.LocaleHelperCalls();
    uint32_t scanned = 0;
    const double scanBefore =
        Seconds([&] { scanned = g_compiler.ScanSuffixes(suffixTexts.data(), int32_t(suffixTexts.size())); });
    scanCalls[0] = g_compiler.LocaleHelperCalls() - calls;

    // ---- enabled ----
    Quillmend::RunCppCompilerInitProcs();
    if (round == 0)
      for (const Quillmend::TPatchReport& r : Quillmend::PatchReports())
        std::wprintf(L"%ls: %ls%ls%ls\n", r.Name.c_str(), r.Status == Quillmend::psApplied ? L"applied" : L"failed",
                     r.Reason.empty() ? L"" : L" - ", r.Reason.c_str());
    for (size_t s = 0; s < intern.size(); ++s) {
      RunInterning(intern[s]);
      same = same && intern[s].Checksum == internBefore[s].Checksum && intern[s].Stats.Nodes == internBefore[s].Stats.Nodes;
      internTimes[s].Keep(internBefore[s].Seconds, intern[s].Seconds);
    }
    for (size_t s = 0; s < lookups.size(); ++s) {
      const Quillmend::TCppSymbolLookupCounts counts0 = Quillmend::CppSymbolLookupCounts();
      const double after = Seconds([&] { RunLookups(lookups[s], Lookups[s]); }) / Lookups[s];
      const Quillmend::TCppSymbolLookupCounts counts1 = Quillmend::CppSymbolLookupCounts();
      same = same && RunLookups(lookups[s], UnpatchedLookups[s]) == lookupSums[s];
      const double hits = double(counts1.Hits - counts0.Hits), misses = double(counts1.Misses - counts0.Misses);
      hitRatio[s] = hits / (hits + misses);
      lookupTimes[s].Keep(lookupBefore[s], after);
    }
    calls = g_compiler.LocaleHelperCalls();
    int32_t comparedAfter = 0;
    const double compareAfter = Seconds([&] { comparedAfter = compare(); });
    compareCalls[1] = g_compiler.LocaleHelperCalls() - calls;
    calls = g_compiler.LocaleHelperCalls();
    uint32_t scannedAfter = 0;
    const double scanAfter =
        Seconds([&] { scannedAfter = g_compiler.ScanSuffixes(suffixTexts.data(), int32_t(suffixTexts.size())); });
    scanCalls[1] = g_compiler.LocaleHelperCalls() - calls;
    same = same && compared == comparedAfter && scanned == scannedAfter;
    compareTimes.Keep(compareBefore, compareAfter);
    scanTimes.Keep(scanBefore, scanAfter);
  }
  peeks = peekCalls();
  int32_t progressAfter = 0;
  const double progressAfterTime = Seconds([&] { progressAfter = runProgress(monitor, ProgressCallbacks); });
  const uint32_t peeksAfter = peekCalls() - peeks;
  same = same && progress == progressAfter;

  std::printf("\nidentifier interning, %d calls (best of %d)\n", InternCalls, Rounds);
  std::printf("  %8s  %10s %10s %7s  %14s %14s  %s\n", "names", "ns/call", "ns/call", "ratio", "longest chain",
              "mean chain", "N/32768");
  std::printf("  %8s  %10s %10s %7s  %14s %14s\n", "", "disabled", "enabled", "", "dis. / ena.", "dis. / ena.");
  for (size_t s = 0; s < intern.size(); ++s) {
    const TInternRun& a = internBefore[s];
    const TInternRun& b = intern[s];
    std::printf("  %8d  %10.1f %10.1f %6.1fx  %6u / %-6u %6.2f / %-6.2f %6.2f  %s\n", InternSizes[s],
                internTimes[s].Disabled * 1e9 / InternCalls, internTimes[s].Enabled * 1e9 / InternCalls,
                Ratio(internTimes[s].Disabled, internTimes[s].Enabled), a.Stats.Longest, b.Stats.Longest,
                double(a.Stats.Nodes) / a.Stats.NonEmpty, double(b.Stats.Nodes) / b.Stats.NonEmpty,
                InternSizes[s] / 32768.0, a.Checksum == b.Checksum ? "same nodes" : "DIFFERENT");
  }
  std::printf("  (mean chain: nodes per non-empty bucket; a uniform hash gives about max(1, N/32768))\n");

  std::printf("\ndebug-symbol lookups: 10%% pick a symbol at random (one in ten absent), 90%% repeat an earlier one\n");
  std::printf("  %8s  %9s  %12s %12s %8s  %9s\n", "symbols", "lookups", "ns/lookup", "ns/lookup", "ratio", "hit ratio");
  std::printf("  %8s  %9s  %12s %12s\n", "", "", "disabled", "enabled");
  for (size_t s = 0; s < lookups.size(); ++s)
    std::printf("  %8d  %9d  %12.1f %12.1f %7.1fx  %8.1f%%  (disabled timed on %d)\n", ContextSizes[s], Lookups[s],
                lookupTimes[s].Disabled * 1e9, lookupTimes[s].Enabled * 1e9,
                Ratio(lookupTimes[s].Disabled, lookupTimes[s].Enabled), 100 * hitRatio[s], UnpatchedLookups[s]);

  std::printf("\n  %-28s %10s %10s %7s  %-22s\n", "", "disabled", "enabled", "ratio", "calls dis. / ena.");
  std::printf("  %-28s %8.1f ms %7.1f ms %6.1fx  %9u / %-10u\n", "stricmp, 10^6 compares", compareTimes.Disabled * 1e3,
              compareTimes.Enabled * 1e3, Ratio(compareTimes.Disabled, compareTimes.Enabled), compareCalls[0],
              compareCalls[1]);
  std::printf("  %-28s %8.1f ms %7.1f ms %6.1fx  %9u / %-10u\n", "suffix scans, 10^6", scanTimes.Disabled * 1e3,
              scanTimes.Enabled * 1e3, Ratio(scanTimes.Disabled, scanTimes.Enabled), scanCalls[0], scanCalls[1]);
  std::printf("  %-28s %8.1f ms %7.1f ms %6.1fx  %9u / %-10u\n", "progress, 10^5 callbacks", progressBefore * 1e3,
              progressAfterTime * 1e3, Ratio(progressBefore, progressAfterTime), peeksBefore, peeksAfter);
  std::printf("  (calls: locale helpers for stricmp and suffixes, PeekMessageW for progress)\n");
  std::printf("\nresults %s\n", same ? "identical" : "DIFFER");
  return same ? 0 : 1;
}
