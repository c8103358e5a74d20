#include "Options.h"

#include <windows.h>

namespace QmHost {

const wchar_t* const kUsage =
    L"usage: bds.exe [-r<RegKey>] [-journal <path>] [-bccide] [-comp32x] [-noapphandler]\n"
    L"               [-showmessageboxes] [-omit <module>]... [-run <workload> [args...]]\n";

namespace {

bool Is(const std::wstring& arg, const wchar_t* name) { return lstrcmpiW(arg.c_str(), name) == 0; }

} // namespace

bool ParseOptions(const std::vector<std::wstring>& args, HostOptions& options, std::wstring& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    if (Is(arg, L"-journal")) {
      if (i + 1 >= args.size()) {
        error = L"-journal needs a path";
        return false;
      }
      options.journalPath = args[++i];
    } else if (Is(arg, L"-run")) {
      if (i + 1 >= args.size()) {
        error = L"-run needs a workload name";
        return false;
      }
      options.workload = args[++i];
      // Everything after the workload name belongs to the workload.
      options.workloadArgs.assign(args.begin() + static_cast<long>(i) + 1, args.end());
      return true;
    } else if (Is(arg, L"-omit")) {
      if (i + 1 >= args.size()) {
        error = L"-omit needs a module name";
        return false;
      }
      options.omitted.push_back(args[++i]);
    } else if (Is(arg, L"-showmessageboxes")) {
      options.showMessageBoxes = true;
    } else if (Is(arg, L"-bccide")) {
      options.loadBccIde = true;
    } else if (Is(arg, L"-comp32x")) {
      options.loadBccIde = true;
      options.loadCompiler = true;
    } else if (Is(arg, L"-noapphandler")) {
      options.appExceptionHandler = false;
    } else if (arg.size() > 2 && (arg[0] == L'-' || arg[0] == L'/') && (arg[1] == L'r' || arg[1] == L'R') &&
               !Is(arg, L"-run")) {
      options.regKey = arg.substr(2);
    } else {
      error = L"unknown argument: " + arg;
      return false;
    }
  }
  return true;
}

bool HostOptions::Omits(const std::wstring& module) const {
  for (const std::wstring& name : omitted)
    if (Is(name, module.c_str())) return true;
  return false;
}

} // namespace QmHost
