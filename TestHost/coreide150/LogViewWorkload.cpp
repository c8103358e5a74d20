// The event log workload: lines added to the debugger's event log at a set
// rate while the message loop runs, as a debugging session writes them;
// afterwards the loop runs on for 300 ms, so that a refresh still pending
// arrives. The log view refreshes on every change unless throttled.
//
//   -run logview <lines> [<interval ms>]     (default interval 1)
//
// Journal: LOGVIEW lines=<n> refreshes=<r> read=<lines re-read> last=<count
// the last refresh saw> ms=<time until the last line, 3 decimals>.
#include <windows.h>

#include <cwchar>
#include <string>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "coreide150/CoreIdeDriver.h"

namespace QmHost {

namespace {

double NowMs() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return double(t.QuadPart) * 1000.0 / double(f.QuadPart);
}

void PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// Runs the message loop until `until` (a NowMs time).
void PumpUntil(double until) {
  for (double now = NowMs(); now < until; now = NowMs()) {
    PumpMessages();
    const double left = until - now;
    if (left > 2) MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(left - 1), QS_ALLINPUT);
  }
}

int RunLogView(HostApp& app, const std::vector<std::wstring>& args) {
  long lines = 0;
  double interval = 1;
  if (args.empty() || args.size() > 2 || (lines = std::wcstol(args[0].c_str(), nullptr, 10)) <= 0 ||
      (args.size() == 2 && (interval = std::wcstod(args[1].c_str(), nullptr)) < 0)) {
    app.Log(L"WORKLOAD-ERROR logview: expected <lines> [<interval ms>]");
    return 2;
  }
  CoreIdeDriver::DebuggerLog log;
  if (!log.Bind(GetModuleHandleW(L"coreide150.bpl"))) {
    app.Log(L"WORKLOAD-ERROR logview: coreide150.bpl lacks the event log");
    return 2;
  }
  log.Manager();
  log.ResetCounters();
  const double start = NowMs();
  wchar_t line[64];
  for (long i = 0; i < lines; ++i) {
    PumpUntil(start + double(i) * interval);
    std::swprintf(line, 64, L"Thread %ld: debug output line %ld", i % 7, i);
    log.Add(line);
  }
  const double elapsed = NowMs() - start;
  PumpUntil(NowMs() + 300);
  CoreIdeDriver::LogCounters counters{};
  log.Counters(&counters);
  wchar_t text[160];
  std::swprintf(text, 160, L"LOGVIEW lines=%ld refreshes=%ld read=%lld last=%ld ms=%.3f", lines, counters.Refreshes,
                counters.LinesRead, counters.LastCount, elapsed);
  app.Log(text);
  return 0;
}

const WorkloadRegistration kRegistration{L"logview", RunLogView,
                                         L"logview <lines> [<interval ms>]  adds event log lines at a set rate"};

}  // namespace

}  // namespace QmHost
