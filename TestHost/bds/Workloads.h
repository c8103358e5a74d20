// Named workloads that "bds.exe -run <name> [args...]" runs after the
// experts are loaded. To add one: write it in a file of its own and add a
// line to the table in Workloads.cpp.
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

const Workload* FindWorkload(const std::wstring& name);

// The workloads (defined in their own files).
int RunCppLoad(HostApp& app, const std::vector<std::wstring>& args);
int RunCppUnload(HostApp& app, const std::vector<std::wstring>& args);
int RunDcc(HostApp& app, const std::vector<std::wstring>& args);

} // namespace QmHost
