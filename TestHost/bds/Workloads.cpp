#include "Workloads.h"

#include <windows.h>

namespace QmHost {

namespace {

const Workload kWorkloads[] = {
    {L"cppload", RunCppLoad, L"cppload [<action> <flag>]  calls CppLoadCompiler (default 1 0)"},
    {L"cppunload", RunCppUnload, L"cppunload  calls CppLoadCompiler(0, 0)"},
    {L"dcc", RunDcc, L"dcc <units> <imports> [<randomSeed>]  times the compiler's load, reset, recompile, free-all"},
};

} // namespace

const Workload* FindWorkload(const std::wstring& name) {
  for (const Workload& w : kWorkloads)
    if (lstrcmpiW(w.name, name.c_str()) == 0) return &w;
  return nullptr;
}

} // namespace QmHost
