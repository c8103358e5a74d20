// Workloads around the C++ compiler's loading through bccide.dll.
#include <cwchar>

#include "CppCompiler.h"
#include "HostApp.h"
#include "Workloads.h"

namespace QmHost {

namespace {

bool ParseInt(const std::wstring& text, int& value) {
  wchar_t* end = nullptr;
  long v = std::wcstol(text.c_str(), &end, 0);
  if (text.empty() || *end != L'\0') return false;
  value = static_cast<int>(v);
  return true;
}

int RunCppLoad(HostApp& app, const std::vector<std::wstring>& args) {
  int action = 1, flag = 0;
  if (!args.empty()) {
    if (args.size() != 2 || !ParseInt(args[0], action) || !ParseInt(args[1], flag)) {
      app.Log(L"WORKLOAD-ERROR cppload: expected <action> <flag>");
      return 2;
    }
  }
  return CallCppLoadCompiler(action, flag) ? 0 : 1;
}

int RunCppUnload(HostApp& app, const std::vector<std::wstring>& args) {
  return CallCppLoadCompiler(0, 0) ? 0 : 1;
}

const WorkloadRegistration kCppLoad{L"cppload", RunCppLoad,
                                    L"cppload [<action> <flag>]  calls CppLoadCompiler (default 1 0)"};
const WorkloadRegistration kCppUnload{L"cppunload", RunCppUnload, L"cppunload  calls CppLoadCompiler(0, 0)"};

} // namespace

} // namespace QmHost
