// The Help Insight parser thread's wait for work with a 100 ms timeout while
// another thread posts it a message every 1, 10 or 100 ms (for 500 ms, then
// no more), in the stand-in core package (coreide150.bpl) as the host has it
// and then with "IDE.HelpInsight.WaitFor" installed. Printed per interval:
// the wait's length and how many waits it took, both ways. Goal with the
// fix: one wait, never longer than the timeout.
#include <windows.h>

#include <cstdio>
#include <string>

#include "Framework/PatchRegistry.h"
#include "Patches/IdeCorrections/HelpInsightParserTaskFix.h"
#include "coreide150/ParseThreadWaitDriver.h"

namespace {

constexpr int32_t Timeout = 100, MessagesFor = 500, Repeats = 3;
constexpr int32_t Intervals[] = {1, 10, 100};

struct TMeasure {
  double Ms = 0;  // the longest of the repeats
  int32_t Waits = 0;
};

std::wstring Parent(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/")); }

std::wstring BuildDirectory() {
  wchar_t path[MAX_PATH];
  return Parent(Parent(std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH))));
}

TMeasure Measure(const ParseThreadWaitDriver::Driver& d, void* thread, int32_t interval) {
  TMeasure m;
  for (int i = 0; i < Repeats; ++i) {
    int32_t waits = 0;
    double ms = 0;
    d.WaitWithMessages(thread, Timeout, interval, MessagesFor, &waits, &ms);
    if (ms > m.Ms) m.Ms = ms;
    if (waits > m.Waits) m.Waits = waits;
  }
  return m;
}

}  // namespace

int main() {
  const std::wstring host = BuildDirectory() + L"\\host\\";
  ParseThreadWaitDriver::Driver d;
  if (!LoadLibraryW((host + L"rtl150.bpl").c_str()) || !d.Bind(LoadLibraryW((host + L"coreide150.bpl").c_str()))) {
    std::printf("cannot load the stand-in core package from %ls\n", host.c_str());
    return 1;
  }
  void* thread = d.New();
  TMeasure off[3], on[3];
  for (int i = 0; i < 3; ++i) off[i] = Measure(d, thread, Intervals[i]);
  Quillmend::InstallHelpInsightParserTaskFix();
  if (!Quillmend::IsPatchApplied(L"IDE.HelpInsight.WaitFor")) {
    std::printf("IDE.HelpInsight.WaitFor did not apply\n");
    return 1;
  }
  for (int i = 0; i < 3; ++i) on[i] = Measure(d, thread, Intervals[i]);
  d.Free(thread);

  std::printf("Help Insight wait, timeout %d ms, messages for %d ms (longest of %d)\n", Timeout, MessagesFor, Repeats);
  std::printf("%-18s %14s %8s %14s %8s  %s\n", "message every", "host ms", "waits", "fixed ms", "waits", "goal");
  bool met = true;
  for (int i = 0; i < 3; ++i) {
    const bool ok = on[i].Waits == 1 && on[i].Ms <= Timeout + 20;
    met = met && ok;
    std::printf("%-15d ms %14.1f %8d %14.1f %8d  %s\n", Intervals[i], off[i].Ms, off[i].Waits, on[i].Ms, on[i].Waits,
                ok ? "met (one wait, within the timeout)" : "MISSED");
  }
  return met ? 0 : 1;
}
