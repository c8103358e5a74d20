#include "Workloads.h"

#include <windows.h>

#include <cstdio>

namespace QmHost {

namespace {

// Built during static initialization, in whatever order the files' objects
// are initialized; a function-local static is constructed before first use.
std::vector<Workload>& Registered() {
  static std::vector<Workload> workloads;
  return workloads;
}

} // namespace

WorkloadRegistration::WorkloadRegistration(const wchar_t* name, WorkloadProc run, const wchar_t* usage) {
  if (FindWorkload(name)) {
    std::fwprintf(stderr, L"bds.exe: workload %ls registered twice\n", name);
    ExitProcess(2);
  }
  Registered().push_back(Workload{name, run, usage});
}

const Workload* FindWorkload(const std::wstring& name) {
  for (const Workload& w : Registered())
    if (lstrcmpiW(w.name, name.c_str()) == 0) return &w;
  return nullptr;
}

} // namespace QmHost
