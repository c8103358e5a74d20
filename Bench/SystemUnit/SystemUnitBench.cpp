// The system unit with the pack disabled and enabled, side by side: Move
// (the host's, the processor's selected move through System.Move, and
// msvcrt's memcpy as the physical reference) at 16 B .. 4 MB aligned and
// not; LoadResString over 100, 1,000 and 10,000 identifiers; FindHInstance
// over 4, 16 and 32 modules; ClassNameIs. Each pair runs in alternating
// rounds and must compute the same; prints the tables. Not a test.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Common/BenchTimer.h"
#include "Common/HostRtl.h"
#include "Common/PackSwitch.h"
#include "Patches/SystemUnit/FastCodeInstall.h"
#include "Patches/SystemUnit/FastMove.h"
#include "Patches/SystemUnit/FastcodeCPUID.h"
#include "Patches/SystemUnit/FindHInstanceCache.h"
#include "Patches/SystemUnit/SystemOptimize.h"
#include "rtl150/SystemUnitDriver.h"
#include "strmod/StringModules.h"

using Quillmend::Bench::Now;
using namespace SystemUnitDriver;

namespace {

Quillmend::Bench::TPackSwitch g_pack;
int g_failures = 0;
HMODULE g_rtl = nullptr;
const QmHost::HostRtl* g_host = nullptr;

std::wstring BuildDirectory() {
  wchar_t path[MAX_PATH];
  std::wstring self(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  std::wstring bin = self.substr(0, self.find_last_of(L"\\/"));
  return bin.substr(0, bin.find_last_of(L"\\/"));
}

template <class T>
T Export(const char* name) {
  return Bind<T>(g_rtl, name);
}

struct TSide {
  double Ns = 1e30;
  uint64_t Sum = 0;
};

// `calls` calls in rounds, the pack off and on in turn; the fastest round's
// time per call for each side. call(n, sum) returns the new checksum.
template <class F>
void Measure(long calls, int rounds, F&& call, TSide& off, TSide& on) {
  off = TSide();
  on = TSide();
  for (int round = 0; round < rounds; ++round)
    for (bool enabled : {false, true}) {
      g_pack.Enable(enabled);
      TSide& side = enabled ? on : off;
      const long count = calls / rounds;
      uint64_t sum = 0;
      const double start = Now();
      for (long n = 0; n < count; ++n) sum = call(n, sum);
      side.Ns = std::min(side.Ns, (Now() - start) * 1e9 / double(count));
      side.Sum = sum;
    }
}

void Check(bool same, const char* what) {
  if (same) return;
  std::printf("   RESULTS DIFFER: %s\n", what);
  ++g_failures;
}

// ---- Move -----------------------------------------------------------------------------

void MoveTable() {
  const Quillmend::TCpuInfo& cpu = Quillmend::CpuInfo();
  std::printf("== Move: processor vendor %u, signature %08X, family %u, model %u, features %04X, L1 %u/%u KB, "
              "L2 %u KB; variant %d (%s), large-move limit %d\n",
              cpu.Vendor, cpu.Signature, cpu.EffFamily, cpu.EffModel, cpu.Features, cpu.L1DataCacheKB,
              cpu.L1CodeCacheKB, cpu.L2CacheKB, int(Quillmend::FastMoveVariant()),
              Quillmend::MoveVariantName(Quillmend::FastMoveVariant()), QmLargeMoveLimit);
  auto move = Export<MoveFn>(Export::Move);
  auto memcpyProc = reinterpret_cast<void*(__cdecl*)(void*, const void*, size_t)>(
      reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(L"msvcrt.dll"), "memcpy")));
  const size_t big = (8u << 20) + 64;
  auto* source = static_cast<uint8_t*>(VirtualAlloc(nullptr, big, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  auto* dest = static_cast<uint8_t*>(VirtualAlloc(nullptr, big, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  auto* check = static_cast<uint8_t*>(VirtualAlloc(nullptr, big, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  for (size_t i = 0; i < big; ++i) source[i] = uint8_t(i * 2654435761u >> 24);
  std::printf("   %-16s %12s %12s %12s %9s %12s  %s\n", "size", "host", "fast", "memcpy", "speed-up", "fast/memcpy",
              "results");
  const size_t sizes[] = {16, 36, 256, 4096, 65536, 1u << 20, 4u << 20};
  for (size_t size : sizes) {
    for (bool aligned : {true, false}) {
      const uint8_t* from = source + (aligned ? 0 : 1);
      uint8_t* to = dest + (aligned ? 0 : 7);
      const long calls = long(std::max<size_t>(2000, std::min<size_t>(2000000, (512u << 20) / size)));
      // The three run in turn, five rounds: each one's fastest round counts.
      TSide off, on;
      double reference = 1e30;
      const long count = calls / 5;
      for (int round = 0; round < 5; ++round) {
        TSide roundOff, roundOn;
        Measure(count * 2, 2, [&](long, uint64_t sum) { move(from, to, int(size)); return sum + to[size - 1]; },
                roundOff, roundOn);
        off.Ns = std::min(off.Ns, roundOff.Ns);
        on.Ns = std::min(on.Ns, roundOn.Ns);
        const double start = Now();
        for (long n = 0; n < count; ++n) memcpyProc(check + (aligned ? 0 : 7), from, size);
        reference = std::min(reference, (Now() - start) * 1e9 / double(count));
      }
      g_pack.Enable(false);
      move(from, check, int(size));
      g_pack.Enable(true);
      move(from, to, int(size));
      const bool same = std::memcmp(check, to, size) == 0;
      Check(same, "Move");
      char label[32];
      std::snprintf(label, sizeof label, "%zu B %s", size, aligned ? "aligned" : "unaligned");
      auto mbps = [size](double ns) { return double(size) / ns * 1e9 / (1 << 20); };
      std::printf("   %-16s %7.1f ns %7.1f ns %7.1f ns %8.2fx %11.0f%%  %s\n", label, off.Ns, on.Ns, reference,
                  off.Ns / on.Ns, 100.0 * reference / on.Ns, same ? "equal" : "DIFFERENT");
      if (size >= 4096)
        std::printf("   %-16s %7.0f MB/s %6.0f MB/s %6.0f MB/s\n", "", mbps(off.Ns), mbps(on.Ns), mbps(reference));
    }
  }
  std::printf("   goals: up to 36 B at least 2x the host's; from 4 KB within 10%% of memcpy (fast/memcpy >= 90%%)\n");
}

// ---- LoadResString ----------------------------------------------------------------------

void ResourceStringTable() {
  std::printf("== LoadResString: 1,000,000 calls over N identifiers of one module\n");
  std::printf("   %-14s %12s %12s %9s  %s\n", "identifiers", "disabled", "enabled", "speed-up", "results");
  auto load = Export<LoadResStringFn>(Export::LoadResString);
  HINSTANCE module = LoadLibraryW((BuildDirectory() + L"\\host-strings\\strbig.dll").c_str());
  for (int count : {100, 1000, 10000}) {
    std::vector<TResStringRec> records;
    for (int id = 0; id < count; ++id) records.push_back({&module, UINT_PTR(id == 4000 ? 4001 : id)});
    wchar_t* result = nullptr;
    TSide off, on;
    Measure(1000000, 3, [&](long n, uint64_t sum) {
      load(&records[size_t(n % count)], &result);
      return sum * 31 + uint64_t(result ? reinterpret_cast<const int32_t*>(result)[-1] + result[4] : 0);
    }, off, on);
    g_host->Release(result);
    Check(off.Sum == on.Sum, "LoadResString");
    std::printf("   %-14d %9.1f ns %9.1f ns %8.1fx  %s\n", count, off.Ns, on.Ns, off.Ns / on.Ns,
                off.Sum == on.Sum ? "equal" : "DIFFERENT");
  }
  std::printf("   goal: at least 10x over 100 and 1,000 identifiers\n");
}

// ---- FindHInstance ---------------------------------------------------------------------

void FindHInstanceTable(const std::vector<HMODULE>& modules) {
  std::printf("== FindHInstance: 1,000,000 calls over addresses in N modules, in turn\n");
  std::printf("   %-14s %12s %12s %9s  %s\n", "modules", "disabled", "enabled", "speed-up", "results");
  auto find = Export<FindHInstanceFn>(Export::FindHInstance);
  for (size_t count : {4u, 16u, 32u}) {
    std::vector<const void*> addresses;
    for (size_t i = 0; i < count; ++i) addresses.push_back(reinterpret_cast<const uint8_t*>(modules[i]) + 0x1010);
    TSide off, on;
    Measure(1000000, 3, [&](long n, uint64_t sum) {
      return sum * 31 + uintptr_t(find(addresses[size_t(n) % count]));
    }, off, on);
    Check(off.Sum == on.Sum, "FindHInstance");
    std::printf("   %-14zu %9.1f ns %9.1f ns %8.1fx  %s\n", count, off.Ns, on.Ns, off.Ns / on.Ns,
                off.Sum == on.Sum ? "equal" : "DIFFERENT");
  }
  std::printf("   goal: at least 20x up to 16 modules; 32 modules in turn miss the 16-entry ring every time\n");
}

// ---- ClassNameIs ---------------------------------------------------------------------------

void ClassNameIsLine() {
  auto is = Export<ClassNameIsFn>(Export::ClassNameIs);
  const void* classRef = reinterpret_cast<const void*>(GetProcAddress(g_rtl, "@Classes@TStringList@"));
  wchar_t* names[] = {g_host->NewString(L"TStringList"), g_host->NewString(L"tstringlist"),
                      g_host->NewString(L"TStringLis"), g_host->NewString(L"TObject")};
  TSide off, on;
  Measure(10000000, 3, [&](long n, uint64_t sum) { return sum * 3 + (is(classRef, names[n & 3]) ? 1 : 0); }, off, on);
  Check(off.Sum == on.Sum, "ClassNameIs");
  std::printf("== ClassNameIs: 10,000,000 calls  %9.1f ns %9.1f ns %8.1fx  %s  (goal: at least 5x)\n", off.Ns, on.Ns,
              off.Ns / on.Ns, off.Sum == on.Sum ? "equal" : "DIFFERENT");
  for (wchar_t*& name : names) g_host->Release(name);
}

}  // namespace

int main() {
  const std::wstring build = BuildDirectory();
  g_rtl = LoadLibraryW((build + L"\\host\\rtl150.bpl").c_str());
  g_host = QmHost::LoadedHostRtl();
  std::vector<HMODULE> modules;
  for (int n = 1; n <= StringModules::CopyCount; ++n)
    modules.push_back(LoadLibraryW((build + L"\\host-strings\\" + StringModules::CopyName(n)).c_str()));
  if (!g_rtl || !g_host || std::count(modules.begin(), modules.end(), nullptr)) {
    std::printf("cannot load the stand-in run-time and the string-table modules\n");
    return 1;
  }
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
  Quillmend::Unit_FastcodeCPUID.Initialize();
  Quillmend::Unit_FastMove.Initialize();
  Quillmend::TPatchPlan fastCode = Quillmend::FastCodeInstallPlan();
  g_pack.Add(Quillmend::InstallUnregisteredPlan(fastCode));
  for (Quillmend::TPatchPlan& plan : Quillmend::SystemOptimizePlans()) g_pack.Add(Quillmend::InstallPlanVerdict(plan));
  for (Quillmend::TPatchPlan& plan : Quillmend::FindHInstanceCachePlans()) g_pack.Add(Quillmend::InstallPlanVerdict(plan));
  MoveTable();
  ResourceStringTable();
  FindHInstanceTable(modules);
  ClassNameIsLine();
  return g_failures ? 1 : 0;
}
