#include "Options.h"

#include <windows.h>

#include <algorithm>

namespace QmHost {

const wchar_t* const kUsage =
    L"usage: bds.exe [-r<RegKey>] [-journal <path>] [-bccide] [-comp32x] [-noapphandler]\n"
    L"               [-showmessageboxes] [-omit <module>]... [-p<personality>[;...]]...\n"
    L"               [-splash [-splashhold <ms>]] [-defproject <dir>]\n"
    L"               [-run <workload> [args...]]\n";

namespace {

bool Is(const std::wstring& arg, const wchar_t* name) { return lstrcmpiW(arg.c_str(), name) == 0; }

std::wstring Trimmed(const std::wstring& text) {
  const size_t first = text.find_first_not_of(L" \t\"");
  if (first == std::wstring::npos) return L"";
  return text.substr(first, text.find_last_not_of(L" \t\"") - first + 1);
}

// "-pDelphi;CBuilder": each part between semicolons, quotes and blanks removed.
void AddPersonalities(const std::wstring& list, std::vector<std::wstring>& personalities) {
  size_t start = 0;
  while (start <= list.size()) {
    const size_t end = std::min(list.find(L';', start), list.size());
    const std::wstring part = Trimmed(list.substr(start, end - start));
    if (!part.empty()) personalities.push_back(part);
    start = end + 1;
  }
}

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
    } else if (Is(arg, L"-splash")) {
      options.splash = true;
    } else if (Is(arg, L"-splashhold") || Is(arg, L"-defproject")) {
      if (i + 1 >= args.size()) {
        error = arg + L" needs a value";
        return false;
      }
      if (Is(arg, L"-splashhold"))
        options.splashHoldMs = _wtoi(args[++i].c_str());
      else
        options.defProjectDirectory = args[++i];
    } else if (Is(arg, L"-showmessageboxes")) {
      options.showMessageBoxes = true;
    } else if (Is(arg, L"-bccide")) {
      options.loadBccIde = true;
    } else if (Is(arg, L"-comp32x")) {
      options.loadBccIde = true;
      options.loadCompiler = true;
    } else if (Is(arg, L"-noapphandler")) {
      options.appExceptionHandler = false;
    } else if (arg.size() > 2 && (arg[0] == L'-' || arg[0] == L'/') && (arg[1] == L'p' || arg[1] == L'P')) {
      AddPersonalities(arg.substr(2), options.personalities);
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
