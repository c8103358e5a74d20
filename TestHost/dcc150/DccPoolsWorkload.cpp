// bds.exe workload "dccpools": the compiler's memory pool grown to a number
// of blocks, then shrunk back near its end again and again (a mark noted,
// a few allocations, the pool shrunk back to the mark),
// as the compiler does between the declarations it compiles.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "dcc150/DccPoolsDriver.h"

namespace QmHost {

namespace {

template <class T>
T Export(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
}

uint32_t Mix(uint32_t h, uint32_t v) { return (h ^ v) * 16777619u; }

int RunDccPools(HostApp& app, const std::vector<std::wstring>& args) {
  int blocks = 1000, shrinks = 100000;
  if (args.size() > 0) blocks = _wtoi(args[0].c_str());
  if (args.size() > 1) shrinks = _wtoi(args[1].c_str());
  HMODULE dcc = GetModuleHandleW(L"dcc150.dll");
  if (!dcc) dcc = LoadLibraryW((app.hostDir + L"dcc150.dll").c_str());
  using namespace DccPoolsDriver;
  auto newPool = Export<NewFn>(dcc, Export::New);
  auto alloc = Export<AllocFn>(dcc, Export::Alloc);
  auto used = Export<UsedFn>(dcc, Export::Used);
  auto shrink = Export<ShrinkFn>(dcc, Export::Shrink);
  auto checksum = Export<ChecksumFn>(dcc, Export::Checksum);
  auto freePool = Export<FreeFn>(dcc, Export::Free);
  auto counters = Export<CountersFn>(dcc, Export::Counters);
  if (!newPool || !alloc || !used || !shrink || !checksum || !freePool || !counters || blocks < 1 || shrinks < 0) {
    app.Log(L"WORKLOAD-ERROR dccpools: bad arguments, or dcc150.dll or its pool exports are missing");
    return 2;
  }
  TPool* pool = newPool(4096);
  uint32_t seed = 1234;
  auto next = [&seed](uint32_t range) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % range;
  };
  int made = 0;
  while (made < blocks) {
    const TBlock* before = pool->Current;
    alloc(pool, int32_t(1 + next(64)));
    if (pool->Current != before) ++made;
  }
  TCounters start = {};
  counters(&start);
  uint32_t h = 2166136261u;
  const auto began = std::chrono::steady_clock::now();
  for (int i = 0; i < shrinks; ++i) {
    const int32_t mark = used(pool);
    for (uint32_t n = next(4); n > 0; --n) alloc(pool, int32_t(1 + next(64)));
    shrink(pool, mark, int32_t(i & 1));
    if ((i & 1023) == 0) h = Mix(h, checksum(pool));
    h = Mix(h, uint32_t(used(pool)));
  }
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
  h = Mix(h, checksum(pool));
  TCounters end = {};
  counters(&end);
  freePool(pool);
  wchar_t text[32];
  std::swprintf(text, 32, L"%.3f", ms);
  app.Log(L"DCC-POOLS blocks=" + std::to_wstring(blocks) + L" shrinks=" + std::to_wstring(shrinks) + L" ms=" + text +
          L" checksum=" + Hex(h) + L" freed=" + std::to_wstring(end.BlocksFreed - start.BlocksFreed));
  return 0;
}

const WorkloadRegistration kRegistration{L"dccpools", RunDccPools, L"dccpools [<blocks> <shrinks>]"};

}  // namespace

}  // namespace QmHost
