// The Help Insight parser thread's wait for work in the running IDE: a wait
// of <timeout> ms while another thread posts a message every 1, 10 and 100 ms
// (for <for> ms), whatever code the wait routine holds now (the pack's
// after the expert entry, unless "IDE.HelpInsight.WaitFor" is disabled).
//
//   -run helpinsightwait [<timeout ms> [<for ms>]]     (default 100 500)
//
// Journal, per interval: HELPINSIGHT-WAIT every=<ms> ms=<length> waits=<n> signalled=<0|1>.
#include <windows.h>

#include <cwchar>
#include <string>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "coreide150/ParseThreadWaitDriver.h"

namespace QmHost {

namespace {

int RunHelpInsightWait(HostApp& app, const std::vector<std::wstring>& args) {
  long timeout = 100, messagesFor = 500;
  if (args.size() > 2 || (args.size() >= 1 && (timeout = std::wcstol(args[0].c_str(), nullptr, 10)) <= 0) ||
      (args.size() == 2 && (messagesFor = std::wcstol(args[1].c_str(), nullptr, 10)) <= 0)) {
    app.Log(L"WORKLOAD-ERROR helpinsightwait: expected [<timeout ms> [<for ms>]]");
    return 2;
  }
  ParseThreadWaitDriver::Driver d;
  void* thread = d.Bind(GetModuleHandleW(L"coreide150.bpl")) ? d.New() : nullptr;
  if (!thread) {
    app.Log(L"WORKLOAD-ERROR helpinsightwait: the parser thread's wait is missing");
    return 2;
  }
  for (int32_t every : {1, 10, 100}) {
    int32_t waits = 0;
    double ms = 0;
    const int32_t signalled = d.WaitWithMessages(thread, int32_t(timeout), every, int32_t(messagesFor), &waits, &ms);
    wchar_t text[128];
    swprintf(text, 128, L"HELPINSIGHT-WAIT every=%d ms=%.0f waits=%d signalled=%d", every, ms, waits, signalled);
    app.Log(text);
  }
  d.Free(thread);
  return 0;
}

const WorkloadRegistration kRegistration{L"helpinsightwait", RunHelpInsightWait, L"[<timeout ms> [<for ms>]]"};

}  // namespace

}  // namespace QmHost
