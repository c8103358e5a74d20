// Runs the stand-in compiler's workload (load a project of N units with 15
// imports each, mark 10% outdated and reset, recompile, free all) without
// and then with the unit-list patches, and prints the time of each phase
// side by side. The unit graphs' checksums must agree.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>
#include <windows.h>

#include "Framework/IDEHooks.h"
#include "Framework/PatchRegistry.h"
#include "Patches/CompilerOptimization.h"
#include "Patches/UnitNameDictionary.h"

namespace {

struct TDriver {
  void(__stdcall* PrepareProject)(int, int, uint32_t);
  int(__stdcall* LoadPrepared)();
  int(__stdcall* MarkOutdated)(int, uint32_t);
  void(__stdcall* Reset)();
  int(__stdcall* Recompile)();
  void(__stdcall* FreeAll)();
  uint32_t(__stdcall* Checksum)();
} g_driver;

constexpr int Imports = 15;
constexpr int Sizes[] = {250, 1000, 4000};
constexpr const char* PhaseNames[] = {"load+lookups", "reset 10%", "recompile", "free all"};
constexpr int Phases = 4;
constexpr int Repeats = 3;  // the best of three runs counts: the machine is shared

struct TRun {
  double Ms[Phases];
  uint32_t Checksum[Phases];
};

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return double(t.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

TRun RunOnce(int units) {
  TRun run{};
  uint32_t seed = 1234;
  g_driver.PrepareProject(units, Imports, seed);
  double t = Now();
  g_driver.LoadPrepared();
  run.Ms[0] = Now() - t;
  run.Checksum[0] = g_driver.Checksum();
  g_driver.MarkOutdated(10, seed + 1);
  t = Now();
  g_driver.Reset();
  run.Ms[1] = Now() - t;
  run.Checksum[1] = g_driver.Checksum();
  t = Now();
  g_driver.Recompile();
  run.Ms[2] = Now() - t;
  run.Checksum[2] = g_driver.Checksum();
  t = Now();
  g_driver.FreeAll();
  run.Ms[3] = Now() - t;
  run.Checksum[3] = g_driver.Checksum();
  return run;
}

TRun Run(int units) {
  TRun best = RunOnce(units);
  for (int r = 1; r < Repeats; ++r) {
    TRun run = RunOnce(units);
    for (int p = 0; p < Phases; ++p) {
      if (run.Ms[p] < best.Ms[p]) best.Ms[p] = run.Ms[p];
      // A run that differs from the first marks the phase as differing.
      if (run.Checksum[p] != best.Checksum[p]) best.Checksum[p] = ~run.Checksum[p];
    }
  }
  return best;
}

template <class T>
bool Bind(HMODULE dcc, T& slot, const char* name) {
  slot = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(dcc, name)));
  return slot != nullptr;
}

} // namespace

int main() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path);
  dir.resize(dir.find_last_of(L"\\/"));
  dir.resize(dir.find_last_of(L"\\/"));
  HMODULE dcc = LoadLibraryW((dir + L"\\host\\dcc150.dll").c_str());
  if (!dcc || Quillmend::GetDccHandle() != dcc || !Bind(dcc, g_driver.PrepareProject, "DccPrepareProject") ||
      !Bind(dcc, g_driver.LoadPrepared, "DccLoadPrepared") ||
      !Bind(dcc, g_driver.MarkOutdated, "DccMarkOutdated") || !Bind(dcc, g_driver.Reset, "DccReset") ||
      !Bind(dcc, g_driver.Recompile, "DccRecompile") || !Bind(dcc, g_driver.FreeAll, "DccFreeAll") ||
      !Bind(dcc, g_driver.Checksum, "DccChecksum")) {
    std::printf("cannot load the stand-in dcc150.dll\n");
    return 1;
  }

  std::vector<TRun> plain, pack;
  for (int units : Sizes) plain.push_back(Run(units));
  Quillmend::InstallCompilerOptimization();
  std::wstring status;
  Quillmend::GetPatchStatusText(true, status);
  if (Quillmend::HasFailedPatches()) {
    std::printf("patches failed: %ls\n", status.c_str());
    return 1;
  }
  for (int units : Sizes) {
    uint32_t builds = Quillmend::UnitNameDictionary.RebuildCount;
    pack.push_back(Run(units));
    std::printf("%d units: %u dictionary rebuilds\n", units, Quillmend::UnitNameDictionary.RebuildCount - builds);
  }

  std::printf("Compiler unit-list patches: stand-in compiler, %d imports per unit, best of %d runs\n", Imports,
              Repeats);
  std::printf("%6s  %-13s %12s %12s %9s\n", "units", "phase", "pack off ms", "pack on ms", "ratio");
  bool same = true;
  for (size_t i = 0; i < plain.size(); ++i) {
    for (int p = 0; p < Phases; ++p) {
      double ratio = pack[i].Ms[p] > 0 ? plain[i].Ms[p] / pack[i].Ms[p] : 0;
      bool equal = plain[i].Checksum[p] == pack[i].Checksum[p];
      same &= equal;
      std::printf("%6d  %-13s %12.2f %12.2f %8.1fx%s\n", Sizes[i], PhaseNames[p], plain[i].Ms[p], pack[i].Ms[p],
                  ratio, equal ? "" : "  CHECKSUM DIFFERS");
    }
  }
  std::printf(same ? "checksums equal\n" : "CHECKSUMS DIFFER\n");
  return same ? 0 : 1;
}
