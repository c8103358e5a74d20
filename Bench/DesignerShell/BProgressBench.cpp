// A stand-in compile of 2,000 files with 50 progress calls each, reported
// through the host's BPROGRESS (coreide150.bpl), as the host has it and then
// with "IDE.Compile.BProgress" installed, in one run: the time, the calls
// that reached the host's BPROGRESS, and the message pumps, with the files
// finished (all, both ways). Goals: at most one pump per 80 ms; the host's
// calls reduced to one per file per 80 ms.
#include <windows.h>

#include <cstdio>
#include <string>

#include "Bench/Common/BenchTimer.h"
#include "Patches/DesignerShell/BProgressResponsiveness.h"
#include "coreide150/CompileProgressDriver.h"
#include "vcl150/MessagePumpDriver.h"

namespace {

constexpr int Files = 2000;
constexpr int Calls = 50;

struct TMeasure {
  double Seconds = 0;
  int Finished = 0, Originals = 0, Pumps = 0;
};

std::wstring Parent(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/")); }

std::wstring BuildDirectory() {
  wchar_t path[MAX_PATH];
  return Parent(Parent(std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH))));
}

TMeasure Measure(const CompileProgressDriver::Driver& compile, const MessagePumpDriver::Driver& pump) {
  TMeasure m;
  int originals = 0;
  compile.Counts(&originals, nullptr, nullptr);
  const int pumps = pump.Pumps();
  compile.Begin(CompileProgressDriver::ProgressFormLayout::Cancellable, 0);
  m.Seconds = Quillmend::Bench::Seconds([&] { m.Finished = compile.Files(Files, Calls, 0, -1); });
  compile.End();
  compile.Counts(&m.Originals, nullptr, nullptr);
  m.Originals -= originals;
  m.Pumps = pump.Pumps() - pumps;
  return m;
}

} // namespace

int main() {
  const std::wstring host = BuildDirectory() + L"\\host\\";
  CompileProgressDriver::Driver compile;
  MessagePumpDriver::Driver pump;
  if (!LoadLibraryW((host + L"rtl150.bpl").c_str()) || !pump.Bind(LoadLibraryW((host + L"vcl150.bpl").c_str())) ||
      !compile.Bind(LoadLibraryW((host + L"coreide150.bpl").c_str()))) {
    std::printf("cannot load the stand-in compile progress\n");
    return 1;
  }
  const TMeasure disabled = Measure(compile, pump);
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
  Quillmend::InstallBProgressResponsiveness();
  const TMeasure enabled = Measure(compile, pump);

  std::printf("A compile of %d files with %d progress calls each, pack disabled vs enabled\n", Files, Calls);
  std::printf("%9s %11s %11s %9s %9s\n", "", "time", "host calls", "pumps", "finished");
  const TMeasure* rows[] = {&disabled, &enabled};
  const char* names[] = {"disabled", "enabled"};
  for (int i = 0; i < 2; ++i)
    std::printf("%9s %8.1f ms %11d %9d %9d\n", names[i], rows[i]->Seconds * 1000, rows[i]->Originals, rows[i]->Pumps,
                rows[i]->Finished);
  const int periods = int(enabled.Seconds * 1000 / Quillmend::ProgressThrottleMs) + 1;
  const bool pumpsMet = enabled.Pumps <= periods;
  const bool callsMet = enabled.Originals <= Files + periods;
  std::printf("goal: at most one pump per 80 ms (%d periods): %d %s\n", periods, enabled.Pumps,
              pumpsMet ? "met" : "NOT MET");
  std::printf("goal: host calls at most one per file per 80 ms (%d): %d %s\n", Files + periods, enabled.Originals,
              callsMet ? "met" : "NOT MET");
  const bool same = disabled.Finished == Files && enabled.Finished == Files;
  std::printf("files finished both ways: %s\n", same ? "all" : "DIFFERENT");
  return same && pumpsMet && callsMet ? 0 : 1;
}
