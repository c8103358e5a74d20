// Compiler.DbkGetFileIndex disabled and enabled, side by side, in this
// process against the stand-in compiler dcc150.dll: a debugger file table
// of 2,000 / 20,000 / 200,000 entries (units in five directories, every
// name in two of them), then 100,000 lookups: the file itself, the same in
// another case, a path in another directory, a missing file. Goal: 20x at
// 20,000 entries.
//
// The compiler's own lookup walks the whole table every time: 100,000 of
// them over 200,000 entries would take the better part of an hour. It runs
// a prefix of the same lookups (all at 2,000 entries, 10,000 at 20,000,
// 1,000 at 200,000) and its time is scaled to 100,000; the answers of that
// prefix are compared with the patched run's.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "Common/BenchTimer.h"
#include "Common/StandInModule.h"
#include "Framework/PatchRegistry.h"
#include "Patches/Compiler/CompilerDbgGetFileIndexOptimization.h"
#include "dcc150/DccFileTableDriver.h"

namespace {

using namespace DccFileTableDriver;
namespace Bench = Quillmend::Bench;

constexpr int Lookups = 100000;

HMODULE g_dcc = nullptr;

template <class Fn>
Fn Export(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(g_dcc, name)));
}

std::vector<std::string> Queries(int entries) {
  std::vector<std::string> queries;
  queries.reserve(Lookups);
  for (int q = 0; q < Lookups; ++q) {
    const int i = int((int64_t(q) * 7919) % entries);
    const std::string unit = "Unit" + std::to_string(i / 2) + ".pas";
    switch (q % 4) {
    case 0: queries.push_back("C:\\Proj\\Dir" + std::to_string(i % 5) + "\\" + unit); break;
    case 1: queries.push_back("c:\\proj\\dir" + std::to_string(i % 5) + "\\UNIT" + std::to_string(i / 2) + ".pas"); break;
    case 2: queries.push_back("D:\\Other\\Dir" + std::to_string((i + 1) % 5) + "\\" + unit); break;
    default: queries.push_back("C:\\Proj\\Missing" + std::to_string(i) + ".pas"); break;
    }
  }
  return queries;
}

struct TResult {
  int Measured = 0;          // lookups timed
  double Seconds = 0;        // for 100,000 lookups (scaled from the measured ones)
  uint32_t Prefix = 0;       // checksum of the answers of the first `compared` lookups
  int Found = 0;
};

// A table of `entries` entries, then `count` of the lookups timed; the
// checksum over the first `compared` answers.
TResult Run(int entries, int count, int compared, const std::vector<std::string>& queries) {
  auto newTable = Export<NewFn>(Export::New);
  auto deleteTable = Export<DeleteFn>(Export::Delete);
  auto setDirectory = Export<SetDirectoryFn>(Export::SetDirectory);
  auto addName = Export<AddNameFn>(Export::AddName);
  auto index = Export<IndexFn>(Export::Index);
  Export<ResetFn>(Export::Reset)();
  TFileTable* table = newTable();
  for (int i = 0; i < entries; ++i) {
    setDirectory(table, ("C:\\Proj\\Dir" + std::to_string(i % 5) + "\\").c_str());
    addName(table, ("Unit" + std::to_string(i / 2) + ".pas").c_str(), i % 8 == 1 ? 1000 + i : 0);
  }
  std::vector<int32_t> answers(size_t(count), 0);
  TResult result;
  result.Measured = count;
  result.Seconds = Bench::Seconds([&] {
    for (int q = 0; q < count; ++q) answers[size_t(q)] = index(table, queries[size_t(q)].c_str());
  }) * Lookups / count;
  uint32_t h = 2166136261u;
  for (int q = 0; q < compared; ++q) h = (h ^ uint32_t(answers[size_t(q)])) * 16777619u;
  result.Prefix = h;
  for (int32_t answer : answers) result.Found += answer != 0;
  deleteTable(table);
  Export<ResetFn>(Export::Reset)();
  return result;
}

} // namespace

int main() {
  g_dcc = Quillmend::Bench::LoadStandInModule(L"dcc150.dll");
  if (!g_dcc) return 1;
  const int sizes[] = {2000, 20000, 200000};
  const int measured[] = {100000, 10000, 1000};
  std::vector<std::vector<std::string>> queries;
  std::vector<TResult> disabled, enabled;
  for (size_t i = 0; i < 3; ++i) {
    queries.push_back(Queries(sizes[i]));
    disabled.push_back(Run(sizes[i], measured[i], measured[i], queries[i]));
  }
  Quillmend::InstallCompilerDbgGetFileIndexOptimization();
  if (!Quillmend::IsPatchApplied(L"Compiler.DbkGetFileIndex")) {
    std::printf("patch not applied: %ls\n", Quillmend::FailedPatchReasons().c_str());
    return 1;
  }
  for (size_t i = 0; i < 3; ++i) enabled.push_back(Run(sizes[i], Lookups, measured[i], queries[i]));

  std::printf("%-58s %13s %13s %9s\n", "workload (time for 100k lookups)", "disabled", "enabled", "ratio");
  bool same = true;
  for (size_t i = 0; i < 3; ++i) {
    const double ratio = enabled[i].Seconds > 0 ? disabled[i].Seconds / enabled[i].Seconds : 0;
    const bool equal = disabled[i].Prefix == enabled[i].Prefix;
    same = same && equal;
    char name[80];
    std::snprintf(name, sizeof name, "Compiler.DbkGetFileIndex: %d entries (host: %dk timed)", sizes[i],
                  disabled[i].Measured / 1000);
    std::printf("%-58s %10.2f ms %10.2f ms %8.1fx  %s  found %d of 100k", name, disabled[i].Seconds * 1e3,
                enabled[i].Seconds * 1e3, ratio, equal ? "same results" : "RESULTS DIFFER", enabled[i].Found);
    if (sizes[i] == 20000) std::printf("  (goal 20x: %s)", ratio >= 20 ? "met" : "not met");
    std::printf("\n");
  }
  return same ? 0 : 1;
}
