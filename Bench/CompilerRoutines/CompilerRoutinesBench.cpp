// The compiler's smaller routines with their patches disabled and enabled,
// side by side, in this process against the stand-in compiler dcc150.dll:
// every workload runs at three sizes with the host's routine, the patch is
// installed, and the same workloads run again; the results must agree and
// the ratio is printed (goal at the middle size).
//
// Compiler.Memory.Shrink: pools of 100 / 1,000 / 10,000 blocks, 100,000
// shrinks near the end (a mark, a few allocations, back to the mark). Goal: 20x at 1,000 blocks.
//
// Compiler.Unit.RdName: 1,000,000 names of 4 / 16 / 64 bytes read one after
// the other. Goal: 2x at 16 bytes, 5x at 64.
//
// Compiler.MapFile.fprintf: map line-number sections of 0.1 / 1 / 10 million
// entries, each on a line of its own, written to a file through the
// run-time's buffered text file; the formatted writes counted. Goal: half
// the writes (the time is mostly the formatting and the file's).
//
// Compiler.PrefetchToken: 0.1 / 1 / 10 million tokens, each a buffer taken
// and given back. Goal: 3x at 1 million.
// Compiler.StrLenCalls: 1,000,000 text lengths of records that keep their
// length, texts of 50 / 200 / 1,000 bytes. Goal: 3x at 200.
//
// Compiler.WarnLoadResString: 20,000 / 200,000 / 2,000,000 warnings 46 and
// 47 while both are switched off (then 100 shown ones for their texts); the
// resource texts loaded counted. Goal: 20x at 200,000, no loads.
//
// Compiler.RootTypeUnitList: a root type's list of 200 / 2,000 / 20,000
// types, then one call over a unit of 20,000 types (three in four in the
// list, the others entered). Goal: 20x at 2,000.
//
// Compiler.FileNameStringFunctions: 1,000,000 calls of the four file-name
// routines in turn over 64 paths of 30 / 120 / 250 characters. Goal: 5x at 120.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Common/BenchTimer.h"
#include "Common/StandInModule.h"
#include "Framework/PatchRegistry.h"
#include "Patches/Compiler/CompilerShrinkUnitMemory.h"
#include "Patches/Compiler/MapFilefprintfPatch.h"
#include "Patches/Compiler/OptimizedUnitRead.h"
#include "Patches/Compiler/PrefetchTokenOptimization.h"
#include "Patches/Compiler/WarnLoadResStringPatch.h"
#include "Patches/Compiler/CompilerCreateRootTypeUnitListOpt.h"
#include "Patches/Compiler/CompilerFileNameStrFunctions.h"
#include "dcc150/DccFileNamesDriver.h"
#include "dcc150/DccFilesDriver.h"
#include "dcc150/DccMapLinesDriver.h"
#include "dcc150/DccNamesDriver.h"
#include "dcc150/DccPoolsDriver.h"
#include "dcc150/DccTokensDriver.h"
#include "dcc150/DccWarningsDriver.h"
#include "dcc150/DccRootTypesDriver.h"

namespace {

using namespace DccPoolsDriver;
namespace Bench = Quillmend::Bench;

HMODULE g_dcc = nullptr;

template <class Fn>
Fn Export(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(g_dcc, name)));
}

uint32_t Mix(uint32_t h, uint32_t v) { return (h ^ v) * 16777619u; }

struct TResult {
  double Seconds = 0;
  uint32_t Checksum = 0;
  uint32_t Calls = 0;  // counted host calls, where the row counts them
  int64_t Loads = -1;  // resource texts loaded, where the row counts them
};

// One pool of `blocks` blocks of 4 KB (allocations of 1 to 64 bytes), then
// `shrinks` shrinks near its end.
TResult ShrinkWorkload(int blocks, int shrinks) {
  auto newPool = Export<NewFn>(Export::New);
  auto alloc = Export<AllocFn>(Export::Alloc);
  auto used = Export<UsedFn>(Export::Used);
  auto shrink = Export<ShrinkFn>(Export::Shrink);
  auto checksum = Export<ChecksumFn>(Export::Checksum);
  auto freePool = Export<FreeFn>(Export::Free);
  TResult result;
  result.Seconds = Bench::BestSeconds(blocks >= 10000 ? 1 : 3, [&] {
    TPool* pool = newPool(4096);
    uint32_t seed = 99;
    auto next = [&seed](uint32_t range) {
      seed = seed * 1103515245u + 12345u;
      return (seed >> 8) % range;
    };
    for (int made = 0; made < blocks;) {
      const TBlock* before = pool->Current;
      alloc(pool, int32_t(1 + next(64)));
      if (pool->Current != before) ++made;
    }
    uint32_t h = 2166136261u;
    for (int i = 0; i < shrinks; ++i) {
      const int32_t mark = used(pool);
      for (uint32_t n = next(4); n > 0; --n) alloc(pool, int32_t(1 + next(64)));
      shrink(pool, mark, int32_t(i & 1));
      h = Mix(h, uint32_t(used(pool)));
    }
    result.Checksum = Mix(h, checksum(pool));
    freePool(pool);
  });
  return result;
}

// 1,000,000 names of `length` characters read one after the other.
TResult NamesWorkload(int length) {
  constexpr int Count = 1000000;
  std::vector<uint8_t> data;
  data.reserve(size_t(Count) * size_t(length + 1));
  for (int i = 0; i < Count; ++i) {
    data.push_back(uint8_t(length));
    for (int c = 0; c < length; ++c) data.push_back(uint8_t('A' + (i + c) % 26));
  }
  auto readNames = Export<DccNamesDriver::ReadNamesFn>(DccNamesDriver::Export::ReadNames);
  TResult result;
  result.Seconds = Bench::BestSeconds(3, [&] { result.Checksum = readNames(data.data(), Count, 256); });
  return result;
}

// `count` tokens read through the prefetch; the tokens' checksum.
TResult TokensWorkload(int count) {
  auto next = Export<DccTokensDriver::NextTokenFn>(DccTokensDriver::Export::NextToken);
  auto reset = Export<DccTokensDriver::ResetFn>(DccTokensDriver::Export::Reset);
  TResult result;
  result.Seconds = Bench::BestSeconds(count >= 10000000 ? 1 : 3, [&] {
    reset();
    uint32_t h = 2166136261u;
    for (int i = 0; i < count; ++i) h = Mix(h, next());
    result.Checksum = h;
  });
  return result;
}

// 1,000,000 lengths of a record keeping its text's length (first byte 0).
TResult LengthsWorkload(int length) {
  auto measure = Export<DccTokensDriver::TextLengthFn>(DccTokensDriver::Export::TextLength1);
  std::vector<uint8_t> record(0x30 + size_t(length) + 1, 'x');
  record[0] = 0;
  std::memcpy(&record[0x28], &length, 4);
  record.back() = 0;
  TResult result;
  result.Seconds = Bench::BestSeconds(3, [&] {
    uint32_t h = 2166136261u;
    for (int i = 0; i < 1000000; ++i) h = Mix(h, uint32_t(measure(record.data())));
    result.Checksum = h;
  });
  return result;
}

// `count` hidden warnings, then 100 shown ones; the shown texts' checksum.
TResult WarningsWorkload(int count) {
  namespace W = DccWarningsDriver;
  auto batch = Export<W::BatchFn>(W::Export::Batch);
  auto counters = Export<W::CountersFn>(W::Export::Counters);
  auto reset = Export<W::ResetFn>(W::Export::Reset);
  auto* table = Export<uint8_t*>(W::Export::Table);
  TResult result;
  W::TCounters hidden = {}, shown = {};
  result.Seconds = Bench::BestSeconds(count >= 2000000 ? 1 : 3, [&] {
    reset();
    table[46] = table[47] = 0;
    batch(count);
    counters(&hidden);
  });
  table[46] = table[47] = 1;
  batch(100);
  counters(&shown);
  result.Loads = hidden.Loads;
  result.Checksum = Mix(Mix(shown.Checksum, shown.Shown), hidden.Shown);
  return result;
}

// A root's list of `list` types, then R over a unit of 20,000 types.
TResult RootTypesWorkload(int list) {
  namespace R = DccRootTypesDriver;
  auto reset = Export<R::ResetFn>(R::Export::Reset);
  auto seed = Export<R::SeedFn>(R::Export::Seed);
  auto newUnit = Export<R::NewUnitFn>(R::Export::NewUnit);
  auto addType = Export<R::AddTypeFn>(R::Export::AddType);
  auto unitList = Export<R::UnitListFn>(R::Export::UnitList);
  auto checksum = Export<R::ChecksumFn>(R::Export::Checksum);
  auto freeResult = Export<R::FreeResultFn>(R::Export::FreeResult);
  TResult result;
  double best = 0;
  for (int round = 0; round < (list >= 20000 ? 1 : 3); ++round) {
    reset();
    seed(list);
    void* first = nullptr;
    void* unit = newUnit(&first, "Queries");
    for (int i = 0; i < 20000; ++i) {
      const std::string name = i % 4 == 3 ? "TNew" + std::to_string(i % 1000)
                                          : (i % 2 ? "tseed" : "TSeed") + std::to_string((i * 7) % list);
      addType(unit, name.c_str(), 0);
    }
    void* made = nullptr;
    const double seconds = Bench::Seconds([&] { made = unitList(first); });
    best = round == 0 || seconds < best ? seconds : best;
    result.Checksum = checksum(made);
    freeResult(made);
  }
  reset();
  result.Seconds = best;
  return result;
}

// 1,000,000 calls of the file-name routines over 64 paths of `length` characters.
TResult FileNamesWorkload(int length) {
  namespace F = DccFileNamesDriver;
  std::vector<std::string> paths;
  for (int i = 0; i < 64; ++i) paths.push_back(F::ProjectPath(i, length));
  std::vector<const char*> texts;
  for (const std::string& path : paths) texts.push_back(path.c_str());
  auto run = Export<F::RunFn>(F::Export::Run);
  TResult result;
  result.Seconds = Bench::BestSeconds(3, [&] { result.Checksum = run(texts.data(), int32_t(texts.size()), 1000000); });
  return result;
}

std::string g_mapPath;

// A section of `entries` map lines written to a file; the file's checksum.
TResult MapWorkload(int entries) {
  auto open = Export<DccFilesDriver::OpenFileFn>(DccFilesDriver::Export::OpenFile);
  auto close = Export<DccFilesDriver::CloseFileFn>(DccFilesDriver::Export::CloseFile);
  auto write = Export<DccMapLinesDriver::WriteLinesFn>(DccMapLinesDriver::Export::WriteLines);
  auto calls = Export<uint32_t*>(DccMapLinesDriver::Export::Writes);
  TResult result;
  const uint32_t before = *calls;
  result.Seconds = Bench::Seconds([&] {
    void* file = open(g_mapPath.c_str(), "wt");
    write(file, entries, 77);
    close(file);
  });
  result.Calls = *calls - before;
  uint32_t h = 2166136261u;
  HANDLE map = CreateFileA(g_mapPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  std::vector<uint8_t> buffer(1 << 20);
  DWORD read = 0;
  while (ReadFile(map, buffer.data(), DWORD(buffer.size()), &read, nullptr) && read)
    for (DWORD i = 0; i < read; ++i) h = (h ^ buffer[i]) * 16777619u;
  CloseHandle(map);
  DeleteFileA(g_mapPath.c_str());
  result.Checksum = h;
  return result;
}

struct TRow {
  std::string Name;
  TResult Disabled, Enabled;
  double Goal;  // 0: none at this size
};

void Print(const TRow& row) {
  const double ratio = row.Enabled.Seconds > 0 ? row.Disabled.Seconds / row.Enabled.Seconds : 0;
  const bool equal = row.Disabled.Checksum == row.Enabled.Checksum;
  std::printf("%-44s %10.2f ms %10.2f ms %8.1fx  %s", row.Name.c_str(), row.Disabled.Seconds * 1e3,
              row.Enabled.Seconds * 1e3, ratio, equal ? "same results" : "RESULTS DIFFER");
  if (row.Disabled.Calls) {
    std::printf("  writes %u -> %u", row.Disabled.Calls, row.Enabled.Calls);
    if (row.Goal > 0)
      std::printf(" (goal: halved: %s)", row.Enabled.Calls * 2 <= row.Disabled.Calls ? "met" : "not met");
  } else if (row.Goal > 0) {
    std::printf("  (goal %.0fx: %s)", row.Goal, ratio >= row.Goal ? "met" : "not met");
  }
  if (row.Disabled.Loads >= 0)
    std::printf("  loads %lld -> %lld", static_cast<long long>(row.Disabled.Loads),
                static_cast<long long>(row.Enabled.Loads));
  std::printf("\n");
}

} // namespace

int main() {
  g_dcc = Quillmend::Bench::LoadStandInModule(L"dcc150.dll");
  if (!g_dcc) return 1;
  const int sizes[] = {100, 1000, 10000};
  const int lengths[] = {4, 16, 64};
  const int entries[] = {100000, 1000000, 10000000};
  {
    char file[MAX_PATH];
    GetTempFileNameA(".", "map", 0, file);
    g_mapPath = file;
  }
  std::vector<TRow> rows;
  for (int blocks : sizes)
    rows.push_back({"Compiler.Memory.Shrink: " + std::to_string(blocks) + " blocks, 100k shrinks",
                    ShrinkWorkload(blocks, 100000), {}, blocks == 1000 ? 20.0 : 0});
  for (int length : lengths)
    rows.push_back({"Compiler.Unit.RdName: 1M names of " + std::to_string(length) + " bytes", NamesWorkload(length), {},
                    length == 16 ? 2.0 : length == 64 ? 5.0 : 0});
  for (int count : entries)
    rows.push_back({"Compiler.MapFile.fprintf: " + std::to_string(count) + " map lines", MapWorkload(count), {},
                    count == 1000000 ? 2.0 : 0});
  const int tokens[] = {100000, 1000000, 10000000};
  const int texts[] = {50, 200, 1000};
  for (int count : tokens)
    rows.push_back({"Compiler.PrefetchToken: " + std::to_string(count) + " buffer pairs", TokensWorkload(count), {},
                    count == 1000000 ? 3.0 : 0});
  for (int length : texts)
    rows.push_back({"Compiler.StrLenCalls: 1M texts of " + std::to_string(length) + " bytes", LengthsWorkload(length), {},
                    length == 200 ? 3.0 : 0});
  const int warnings[] = {20000, 200000, 2000000};
  for (int count : warnings)
    rows.push_back({"Compiler.WarnLoadResString: " + std::to_string(count) + " hidden warnings",
                    WarningsWorkload(count), {}, count == 200000 ? 20.0 : 0});
  const int lists[] = {200, 2000, 20000};
  for (int list : lists)
    rows.push_back({"Compiler.RootTypeUnitList: a list of " + std::to_string(list) + ", 20k queries",
                    RootTypesWorkload(list), {}, list == 2000 ? 20.0 : 0});
  const int paths[] = {30, 120, 250};
  for (int length : paths)
    rows.push_back({"Compiler.FileNameStringFunctions: 1M calls, " + std::to_string(length) + " chars",
                    FileNamesWorkload(length), {}, length == 120 ? 5.0 : 0});
  Quillmend::InstallCompilerShrinkUnitMemory();
  Quillmend::InstallOptimizedUnitRead();
  Quillmend::InstallMapFilefprintfPatch();
  Quillmend::InstallPrefetchTokenOptimization();
  Quillmend::InstallWarnLoadResStringPatch();
  Quillmend::InstallCompilerCreateRootTypeUnitListOpt();
  Quillmend::InstallCompilerFileNameStrFunctions();
  const std::wstring failed = Quillmend::FailedPatchReasons();
  if (!failed.empty()) {
    std::printf("patches not applied: %ls\n", failed.c_str());
    return 1;
  }
  for (size_t i = 0; i < 3; ++i) rows[i].Enabled = ShrinkWorkload(sizes[i], 100000);
  for (size_t i = 0; i < 3; ++i) rows[3 + i].Enabled = NamesWorkload(lengths[i]);
  for (size_t i = 0; i < 3; ++i) rows[6 + i].Enabled = MapWorkload(entries[i]);
  for (size_t i = 0; i < 3; ++i) rows[9 + i].Enabled = TokensWorkload(tokens[i]);
  for (size_t i = 0; i < 3; ++i) rows[12 + i].Enabled = LengthsWorkload(texts[i]);
  for (size_t i = 0; i < 3; ++i) rows[15 + i].Enabled = WarningsWorkload(warnings[i]);
  for (size_t i = 0; i < 3; ++i) rows[18 + i].Enabled = RootTypesWorkload(lists[i]);
  for (size_t i = 0; i < 3; ++i) rows[21 + i].Enabled = FileNamesWorkload(paths[i]);

  std::printf("%-44s %13s %13s %9s\n", "workload", "disabled", "enabled", "ratio");
  bool same = true;
  for (const TRow& row : rows) {
    Print(row);
    same = same && row.Disabled.Checksum == row.Enabled.Checksum;
  }
  return same ? 0 : 1;
}
