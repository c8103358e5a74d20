// The debugger patches: the kernel's memcpy, memmove and memset at 16 B ..
// 1 MB and its case-insensitive compare, pack disabled and enabled in
// alternating rounds (results equal); then the event log view fed 10,000
// lines at one per millisecond while the message loop runs, first without
// the patch, then with it: refreshes (without: one per line; with: about
// the run time / 75 ms + 1) and the total time. Prints the tables; not a test.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Common/BenchTimer.h"
#include "Common/PackSwitch.h"
#include "Patches/Debugger/DebuggerCRtl.h"
#include "Patches/Debugger/DebuggerLogView.h"
#include "Patches/SystemUnit/FastMove.h"
#include "Patches/SystemUnit/FastcodeCPUID.h"
#include "bordbk150N/DebuggerKernelDriver.h"
#include "coreide150/CoreIdeDriver.h"

using Quillmend::Bench::Now;

namespace {

Quillmend::Bench::TPackSwitch g_pack;
int g_failures = 0;

std::wstring BuildDirectory() {
  wchar_t path[MAX_PATH];
  std::wstring self(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  std::wstring bin = self.substr(0, self.find_last_of(L"\\/"));
  return bin.substr(0, bin.find_last_of(L"\\/"));
}

struct TSide {
  double Ns = 1e30;
  uint64_t Sum = 0;
};

// One call of each side on the same fresh input must leave the same bytes.
template <class F>
bool SameOnFreshInput(std::vector<uint8_t>& a, std::vector<uint8_t>& b, F&& call) {
  std::vector<uint8_t> after[2];
  for (bool enabled : {false, true}) {
    g_pack.Enable(enabled);
    for (size_t i = 0; i < a.size(); ++i) a[i] = uint8_t(i * 131);
    std::fill(b.begin(), b.end(), 0);
    call(0);
    after[enabled] = a;
    after[enabled].insert(after[enabled].end(), b.begin(), b.end());
  }
  return after[0] == after[1];
}

// Timing rows: `call` returns a checksum for the calls that do not change
// their own input; `sameBytes` says whether one call left the same bytes.
template <class F>
void Row(const char* what, long calls, F&& call, bool sameBytes = true) {
  TSide off, on;
  for (int round = 0; round < 5; ++round)
    for (bool enabled : {false, true}) {
      g_pack.Enable(enabled);
      TSide& side = enabled ? on : off;
      uint64_t sum = 0;
      const long count = std::max(1L, calls / 5);
      const double start = Now();
      for (long n = 0; n < count; ++n) sum = call(sum);
      side.Ns = std::min(side.Ns, (Now() - start) * 1e9 / double(count));
      side.Sum = sum;
    }
  const bool same = off.Sum == on.Sum && sameBytes;
  if (!same) ++g_failures;
  std::printf("   %-22s %11.1f ns %11.1f ns %8.1fx  %s\n", what, off.Ns, on.Ns, off.Ns / on.Ns, same ? "equal" : "DIFFERENT");
}

void PumpUntil(double until) {
  for (double now = Now(); now < until; now = Now()) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    const double left = (until - now) * 1000;
    if (left > 2) MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(left - 1), QS_ALLINPUT);
  }
}

// 10,000 lines at one per millisecond, then 300 ms of the message loop.
void LogRun(const CoreIdeDriver::DebuggerLog& log, const char* mode) {
  log.Clear();
  log.ResetCounters();
  const double start = Now();
  for (int i = 0; i < 10000; ++i) {
    PumpUntil(start + i / 1000.0);
    log.Add(L"Thread 1: debug output line");
  }
  const double elapsed = Now() - start;
  PumpUntil(Now() + 0.3);
  CoreIdeDriver::LogCounters counters{};
  log.Counters(&counters);
  std::printf("   %-9s %10ld %14lld %8ld lines %10.1f ms   (expected with the patch: %.0f)\n", mode, counters.Refreshes,
              counters.LinesRead, counters.LastCount, elapsed * 1000, elapsed * 1000 / 75 + 1);
  if (counters.LastCount != 10000) ++g_failures;
}

}  // namespace

int main() {
  const std::wstring build = BuildDirectory();
  HMODULE kernel = LoadLibraryW((build + L"\\host\\bordbk150N.dll").c_str());
  HMODULE rtl = LoadLibraryW((build + L"\\host\\rtl150.bpl").c_str());
  HMODULE coreIde = LoadLibraryW((build + L"\\host\\coreide150.bpl").c_str());
  DebuggerKernelDriver::Driver k;
  CoreIdeDriver::DebuggerLog log;
  if (!kernel || !rtl || !coreIde || !k.Bind(kernel) || !log.Bind(coreIde)) {
    std::printf("cannot load the stand-in debugger kernel and core package\n");
    return 1;
  }
  reinterpret_cast<void(__stdcall*)()>(GetProcAddress(coreIde, "Initialize"))();
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
  Quillmend::Unit_FastcodeCPUID.Initialize();
  Quillmend::Unit_FastMove.Initialize();
  for (Quillmend::TPatchPlan& plan : Quillmend::DebuggerCRtlPlans()) g_pack.Add(Quillmend::InstallPlanVerdict(plan));

  std::printf("== Debugger kernel routines (move: %s), pack disabled and enabled\n",
              Quillmend::MoveVariantName(Quillmend::FastMoveVariant()));
  std::printf("   %-22s %14s %14s %9s  %s\n", "", "disabled", "enabled", "speed-up", "results");
  std::vector<uint8_t> a((1u << 20) + 64), b((1u << 20) + 64);
  for (size_t i = 0; i < a.size(); ++i) a[i] = uint8_t(i * 131);
  for (size_t size : {16u, 256u, 4096u, 65536u, 1u << 20}) {
    const long calls = long(std::min<size_t>(3000000, (256u << 20) / size));
    char label[32];
    std::snprintf(label, sizeof label, "memcpy %zu B", size);
    auto copy = [&](uint64_t sum) { k.memcpy(b.data() + 1, a.data(), size); return sum + b[size]; };
    Row(label, calls, copy, SameOnFreshInput(a, b, copy));
    std::snprintf(label, sizeof label, "memmove %zu B (up)", size);
    auto move = [&](uint64_t sum) { k.memmove(a.data() + 3, a.data(), size); return sum + 1; };
    Row(label, calls, move, SameOnFreshInput(a, b, move));
    std::snprintf(label, sizeof label, "memset %zu B", size);
    auto fill = [&](uint64_t sum) { k.memset(b.data() + 3, 0x5A, size); return sum + b[size] + 1; };
    Row(label, calls, fill, SameOnFreshInput(a, b, fill));
  }
  const char* pairs[][2] = {{"SysUtils.TStringList", "sysutils.tstringlist"},
                            {"Debugger event log line with a few more words in it, 64 chars.",
                             "DEBUGGER EVENT LOG LINE WITH A FEW MORE WORDS IN IT, 64 CHARS!"}};
  Row("stricmp 20 chars", 3000000, [&](uint64_t sum) { return sum * 3 + uint64_t(k.stricmp(pairs[0][0], pairs[0][1]) + 1); });
  Row("stricmp 64 chars", 3000000, [&](uint64_t sum) { return sum * 3 + uint64_t(k.stricmp(pairs[1][0], pairs[1][1]) + 7); });

  std::printf("== Event log view: 10,000 lines at one per ms while the message loop runs\n");
  std::printf("   %-9s %10s %14s %14s %13s\n", "pack", "refreshes", "lines re-read", "last sees", "time");
  log.Manager();
  LogRun(log, "disabled");
  Quillmend::InstallDebuggerLogView();
  LogRun(log, "enabled");
  return g_failures ? 1 : 0;
}
