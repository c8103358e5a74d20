// The form-loading workload: forms of the given numbers of fields, each a
// form class over an ancestor form class (about half of the fields each),
// made and loaded as a form's constructor loads it, through the run-time's
// InitInheritedComponent (whatever code is at that export now), three times.
//
//   -run formload <fields> [<fields>...]
//
// Journal per form: FORMLOAD fields=<n> set=<n> right=<n> checksum=<hex>
// walks=<field-table walks during a load> ms=<time of the fastest load>; the
// checksum is the same in every process that loaded the same form. A load
// that raises gives FORMLOAD-ERROR <class>: <message> and exit code 1.
#include <windows.h>

#include <cstdio>
#include <string>

#include "Common/HostGuard.h"
#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "rtl150/FormLoadingDriver.h"

namespace QmHost {

namespace {

constexpr int LoadsPerForm = 3;

double NowMs() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return double(t.QuadPart) * 1000.0 / double(f.QuadPart);
}

int RunFormLoad(HostApp& app, const std::vector<std::wstring>& args) {
  FormLoadingDriver::Driver rtl;
  if (!rtl.Bind(app.rtl.module) || !rtl.InitInheritedComponent) {
    app.Log(L"WORKLOAD-ERROR formload: rtl150.bpl lacks the form-loading exports");
    return 2;
  }
  if (args.empty()) {
    app.Log(L"WORKLOAD-ERROR formload: expected <fields>...");
    return 2;
  }
  for (const std::wstring& arg : args) {
    const int fields = _wtoi(arg.c_str());
    void* formClass = fields > 0 ? FormLoadingDriver::MakeInheritedForm(rtl, fields, "Load" + std::to_string(fields))
                                 : nullptr;
    if (!formClass) {
      app.Log(L"WORKLOAD-ERROR formload: no form of " + arg + L" fields");
      return 2;
    }
    // The fastest of a few loads: the first one also pays for fresh memory.
    FormLoadingDriver::FieldSummary s;
    int walked = 0;
    double ms = 1e30;
    for (int run = 0; run < LoadsPerForm; ++run) {
      void* form = nullptr;
      HostExceptionReport report;
      const int walks = rtl.FieldWalks();
      const double start = NowMs();
      const bool loaded = CallHostGuarded([&] { rtl.Load(formClass, &form); }, report, &app.rtl);
      const double took = NowMs() - start;
      walked = rtl.FieldWalks() - walks;
      if (!loaded) {
        app.Log(L"FORMLOAD-ERROR " + JournalEscape(report.Text()));
        return 1;
      }
      if (took < ms) ms = took;
      s = FormLoadingDriver::SummarizeFields(form);
      app.rtl.objectFree(form);
    }
    wchar_t line[200];
    swprintf(line, 200, L"FORMLOAD fields=%d set=%d right=%d checksum=%08x walks=%d ms=%.3f", s.Fields, s.Set, s.Right,
             s.Checksum, walked, ms);
    app.Log(line);
  }
  return 0;
}

const WorkloadRegistration kRegistration{L"formload", RunFormLoad,
                                         L"formload <fields>...  loads inherited forms of that many fields"};

} // namespace

} // namespace QmHost
