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
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Common/BenchTimer.h"
#include "Framework/PatchRegistry.h"
#include "Patches/Compiler/CompilerShrinkUnitMemory.h"
#include "Patches/Compiler/MapFilefprintfPatch.h"
#include "Patches/Compiler/OptimizedUnitRead.h"
#include "Patches/Compiler/PrefetchTokenOptimization.h"
#include "dcc150/DccFilesDriver.h"
#include "dcc150/DccMapLinesDriver.h"
#include "dcc150/DccNamesDriver.h"
#include "dcc150/DccPoolsDriver.h"
#include "dcc150/DccTokensDriver.h"

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
  std::printf("\n");
}

} // namespace

int main() {
  wchar_t path[MAX_PATH];
  std::wstring dir(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  dir = dir.substr(0, dir.find_last_of(L"\\/"));
  dir = dir.substr(0, dir.find_last_of(L"\\/"));
  g_dcc = LoadLibraryW((dir + L"\\host\\dcc150.dll").c_str());
  if (!g_dcc) {
    std::printf("dcc150.dll not found\n");
    return 1;
  }
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
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
  Quillmend::InstallCompilerShrinkUnitMemory();
  Quillmend::InstallOptimizedUnitRead();
  Quillmend::InstallMapFilefprintfPatch();
  Quillmend::InstallPrefetchTokenOptimization();
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

  std::printf("%-44s %13s %13s %9s\n", "workload", "disabled", "enabled", "ratio");
  bool same = true;
  for (const TRow& row : rows) {
    Print(row);
    same = same && row.Disabled.Checksum == row.Enabled.Checksum;
  }
  return same ? 0 : 1;
}
