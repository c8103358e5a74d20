// Named workloads that "bds.exe -run <name> [args...]" runs after the
// experts are loaded. A workload registers itself from its own file:
//
//     static const WorkloadRegistration kRegistration{L"name", RunName, L"usage"};
//
// No central table: bds.exe is built from the files of bds/ and the
// *Workload.cpp files of the stand-in module folders.
#pragma once

#include <string>
#include <vector>

namespace QmHost {

struct HostApp;

// Returns the process exit code (0 = success).
using WorkloadProc = int (*)(HostApp& app, const std::vector<std::wstring>& args);

struct Workload {
  const wchar_t* name;
  WorkloadProc run;
  const wchar_t* usage;
};

// The workload of that name (ASCII case ignored), or null.
const Workload* FindWorkload(const std::wstring& name);

// Adds a workload to the list at start-up (a static object in the
// workload's file). A name registered twice is a build mistake: bds.exe
// then stops at start-up with exit code 2.
struct WorkloadRegistration {
  WorkloadRegistration(const wchar_t* name, WorkloadProc run, const wchar_t* usage);
};

} // namespace QmHost
