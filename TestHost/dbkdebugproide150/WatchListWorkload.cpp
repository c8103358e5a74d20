// The Watch list workload: the Watch list opened and closed `<openings>`
// times (its inspector made in turn by each constructor, the third also set
// up again), the debugged process telling of four events while it is open.
//
//   -run watchlist <openings>
//
// Journal: WATCHLIST openings=<n> live=<inspectors alive afterwards>
// notified=<notifications the open inspectors received>.
#include <windows.h>

#include <cwchar>
#include <string>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "dbkdebugproide150/DbkDebugProIdeDriver.h"

namespace QmHost {

namespace {

int RunWatchList(HostApp& app, const std::vector<std::wstring>& args) {
  long openings = 0;
  if (args.size() != 1 || (openings = std::wcstol(args[0].c_str(), nullptr, 10)) <= 0) {
    app.Log(L"WORKLOAD-ERROR watchlist: expected <openings>");
    return 2;
  }
  DbkDebugProIdeDriver::Driver pro;
  if (!pro.Bind(GetModuleHandleW(L"dbkdebugproide150.bpl"))) {
    app.Log(L"WORKLOAD-ERROR watchlist: dbkdebugproide150.bpl is not loaded");
    return 2;
  }
  const int before = pro.liveInspectors();
  long notified = 0;
  for (long i = 0; i < openings; ++i) {
    void* inspector = pro.openWatch(int(i % 3));
    if (!inspector) {
      app.Log(L"WORKLOAD-ERROR watchlist: an inspector routine broke the calling convention");
      return 1;
    }
    for (int kind = 0; kind < 4; ++kind) pro.fire(kind);
    notified += pro.inspectorNotifications(inspector);
    pro.closeWatch(inspector);
  }
  wchar_t text[128];
  std::swprintf(text, 128, L"WATCHLIST openings=%ld live=%d notified=%ld", openings, pro.liveInspectors() - before,
                notified);
  app.Log(text);
  return 0;
}

const WorkloadRegistration kRegistration{L"watchlist", RunWatchList,
                                         L"watchlist <openings>  opens and closes the Watch list"};

}  // namespace

}  // namespace QmHost
