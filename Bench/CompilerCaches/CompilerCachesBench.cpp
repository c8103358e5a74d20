// The compiler's package and generics work, unpatched and patched, side by
// side in one process: the stand-in dcc150.dll is loaded from <build>/host,
// each workload runs with the compiler's own routines, then with the patch
// installed, and the patch is undone again; best of three each way. Results
// (checksums) must agree.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "Common/BenchTimer.h"
#include "Framework/PatchPlan.h"
#include "Framework/PatchRegistry.h"
#include "Hooking/CodeTransaction.h"
#include "Patches/Compiler/CompilerPackageLookupOptimization.h"
#include "Patches/Compiler/CompilerGenInstantiateOpt.h"
#include "Patches/Compiler/CompilerLinkerGenericsMatchOptimization.h"
#include "Framework/LibraryEntry.h"
#include "IdeServices/ServicesRoot.h"
#include "Patches/Compiler/CompilerFix.h"
#include "Patches/Compiler/CompilerOptimization.h"
#include "dcc150/DccCodeInsightDriver.h"
#include "dcc150/DccDriver.h"
#include "dcc150/DccGenericsDriver.h"
#include "dcc150/DccPackageDriver.h"

namespace {

using Quillmend::Bench::Seconds;

constexpr int Repeats = 3;

std::wstring BuildDirectory() {
  wchar_t path[MAX_PATH];
  std::wstring self(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  std::wstring bin = self.substr(0, self.find_last_of(L"\\/"));
  return bin.substr(0, bin.find_last_of(L"\\/"));
}

// One measured step: its time and the checksum after it.
struct TStep {
  double Ms = 1e30;
  uint32_t Checksum = 0;
};

bool Applied(const wchar_t* patch) {
  for (const Quillmend::TPatchReport& report : Quillmend::PatchReports())
    if (report.Name == patch) return report.Status == Quillmend::psApplied;
  return false;
}

// The best of Repeats runs of `workload`, which fills one TStep per phase;
// false when the checksums of the runs differ.
bool Measure(size_t phases, const std::function<void(std::vector<TStep>&)>& workload, std::vector<TStep>& best) {
  best.assign(phases, TStep());
  bool same = true;
  for (int r = 0; r < Repeats; ++r) {
    std::vector<TStep> run(phases);
    workload(run);
    for (size_t p = 0; p < phases; ++p) {
      best[p].Ms = std::min(best[p].Ms, run[p].Ms);
      if (r == 0) best[p].Checksum = run[p].Checksum;
      same &= run[p].Checksum == best[p].Checksum;
    }
  }
  return same;
}

// A table: every size measured with the compiler's own routines, then the
// patches installed, then every size again; rows side by side.
struct TTable {
  const char* Title;
  std::vector<const char*> Phases;
  std::vector<int> Sizes;
  std::function<void(int size, std::vector<TStep>&)> Workload;
  std::function<bool()> Install;
};

bool Run(const TTable& table) {
  std::vector<std::vector<TStep>> results[2];
  bool ok = true;
  for (int on = 0; on < 2; ++on) {
    if (on && !table.Install()) {
      std::printf("%s: the patches did not apply\n", table.Title);
      return false;
    }
    for (int size : table.Sizes) {
      std::vector<TStep> best;
      ok &= Measure(table.Phases.size(), [&](std::vector<TStep>& steps) { table.Workload(size, steps); }, best);
      results[on].push_back(best);
    }
  }
  std::printf("%10s  %-14s %12s %12s %10s  %s\n", "size", "phase", "unpatched ms", "patched ms", "ratio", "results");
  for (size_t i = 0; i < table.Sizes.size(); ++i) {
    for (size_t p = 0; p < table.Phases.size(); ++p) {
      const TStep &off = results[0][i][p], &on = results[1][i][p];
      const bool same = off.Checksum == on.Checksum;
      ok &= same;
      std::printf("%10d  %-14s %12.3f %12.3f %9.1fx  %s\n", table.Sizes[i], table.Phases[p], off.Ms, on.Ms,
                  on.Ms > 0 ? off.Ms / on.Ms : 0.0, same ? "equal" : "DIFFERENT");
    }
  }
  return ok;
}





// ---- packages ------------------------------------------------------------------------------

bool PackagesTable(HMODULE dcc) {
  static DccPackageDriver::Driver<> d;
  if (!d.Bind(dcc)) return false;
  constexpr int Units = 60, Queries = 20000;
  std::printf("\nPackage lookup (Compiler.FindPackage): <size> packages x %d units, loaded through find-or-load\n"
              "with the duplicate check after each, then %d unit->package and %d by-name queries; best of %d\n",
              Units, Queries, Queries, Repeats);
  return Run(TTable{"packages",
                    {"load + check", "unit->package", "by name"},
                    {40, 120, 360},
                    [](int packages, std::vector<TStep>& steps) {
                      d.PreparePackages(packages, Units, 99);
                      d.PrepareQueries(Queries, Queries, 100);
                      steps[0].Ms = 1000 * Seconds([] { d.LoadPackages(); });
                      steps[0].Checksum = d.Checksum();
                      steps[1].Ms = 1000 * Seconds([] { d.UnitQueries(); });
                      steps[1].Checksum = d.Checksum();
                      steps[2].Ms = 1000 * Seconds([] { d.NameQueries(); });
                      steps[2].Checksum = d.Checksum();
                      d.ReleaseAll();
                    },
                    [] {
                      Quillmend::InstallPackageLookup();
                      return Applied(L"Compiler.FindPackage");
                    }});
}

// ---- generics --------------------------------------------------------------------------------

DccGenericsDriver::Driver<> g_generics;

bool InstantiationsTable() {
  std::printf("\nGenerics instantiations (Compiler.Generics.Inst): <size> uses, 20 per generic type, 70%% found;\n"
              "best of %d\n", Repeats);
  return Run(TTable{"instantiations",
                    {"uses"},
                    {1000, 4000, 16000},
                    [](int uses, std::vector<TStep>& steps) {
                      g_generics.PrepareUses(uses, 20, 70, 17);
                      steps[0].Ms = 1000 * Seconds([] { g_generics.RunUses(); });
                      steps[0].Checksum = g_generics.Checksum();
                      g_generics.Reset();
                    },
                    [] {
                      Quillmend::InstallGenInstantiate();
                      return Applied(L"Compiler.Generics.Inst");
                    }});
}

bool LinkTable() {
  std::printf("\nLinker generics match (Compiler.Linker.GenericsMatch): a link of <size> generic symbols (3 in 10\n"
              "match an earlier one): a new table, every symbol matched, two passes over all buckets; best of %d\n",
              Repeats);
  return Run(TTable{"link",
                    {"link"},
                    {10000, 50000, 200000},
                    [](int symbols, std::vector<TStep>& steps) {
                      g_generics.Reset();
                      g_generics.PrepareLink(symbols, 23);
                      steps[0].Ms = 1000 * Seconds([] { g_generics.RunLink(0); });
                      steps[0].Checksum = g_generics.Checksum();
                    },
                    [] {
                      Quillmend::InstallLinkerGenericsMatch();
                      return Applied(L"Compiler.Linker.GenericsMatch");
                    }});
}

// ---- CodeInsight compiles -------------------------------------------------------------------

// Not a speed-up: what a CodeInsight compile with 300 errors, four bodies
// and 60 units (every third with flag 0x01) reports, unpatched and patched.
bool CodeInsightCounts(HMODULE dcc) {
  if (!LoadLibraryW((BuildDirectory() + L"\\host\\rtl150.bpl").c_str())) return false;
  static DccDriver::WorkloadDriver d;
  static DccCodeInsightDriver::Driver ci;
  if (!d.Bind(dcc) || !ci.Bind(dcc)) return false;
  Quillmend::BorlandIDEServices = QmHost::ServicesRoot();
  static const uint8_t nested[] = {0x2C, 0x01, 0x16, 0x01, 0x16};
  auto run = [](char* out, size_t size) {
    d.LoadProject(60, 4, 5);
    ci.SetUnitFlags(3, 1);
    ci.ResetCounters();
    ci.KibitzBegin();
    d.Reset();
    const int shown = ci.ReportErrors(300);
    ci.SetTokens(nested, nullptr, 5);
    int end = -1;
    const int found = ci.RunSkipBody(&end);
    const int finalized = ci.FinishCompile();
    ci.KibitzEnd();
    std::snprintf(out, size, "errors shown %3d of 300, nested routine's body end at token %d (%s), finalized %d", shown,
                  end, found ? "found" : "not found", finalized);
    d.FreeAll();
  };
  char off[128], on[128];
  run(off, sizeof off);
  Quillmend::InstallCompilerOptimization();
  Quillmend::InstallCompilerFix();
  const bool applied = Applied(L"Compiler.Fixes") && Applied(L"Compiler.KibitzIgnoreErrors") &&
                       Applied(L"Compiler.SkipBody") && Applied(L"Compiler.MainUnitFinalize");
  run(on, sizeof on);
  std::printf("\nCodeInsight compile (Compiler.Fixes and its sub-patches): counts, not times\n   unpatched: %s\n"
              "   patched:   %s\n",
              off, on);
  return applied;
}

} // namespace

// Optional argument: the one table to run ("packages", "instantiations", "link", "codeinsight").
int main(int argc, char** argv) {
  const std::string only = argc > 1 ? argv[1] : "";
  auto wanted = [&only](const char* table) { return only.empty() || only == table; };
  HMODULE dcc = LoadLibraryW((BuildDirectory() + L"\\host\\dcc150.dll").c_str());
  if (!dcc) {
    std::printf("cannot load the stand-in dcc150.dll\n");
    return 1;
  }
  bool ok = g_generics.Bind(dcc);
  if (wanted("packages")) ok &= PackagesTable(dcc);
  if (wanted("instantiations")) ok &= InstantiationsTable();
  if (wanted("link")) ok &= LinkTable();
  if (wanted("codeinsight")) ok &= CodeInsightCounts(dcc);
  std::printf(ok ? "checksums equal\n" : "FAILED\n");
  return ok ? 0 : 1;
}
