// The installer's command line: splitting into parameters and reading them.
#pragma once

#include <string>
#include <vector>

namespace Quillmend {

enum class TInstallMode { None, Install, Uninstall, Extract };

struct TCommandLineRequest {
  bool ShowHelp = false;          // "/?", "--help", "-h": show the help and end
  TInstallMode Mode = TInstallMode::None;
  std::vector<std::wstring> SelectedKeys;  // sorted without case, no duplicates
  int DisablePackageCache = -1;   // -1 not given, 0 "/O-", 1 "/O+"
  std::wstring Error;             // the first error; empty if none
};

// Splits a command line the way the program's parameters are numbered: blanks
// separate, double quotes group and are dropped. The first parameter (the
// program) is skipped.
std::vector<std::wstring> SplitCommandLine(const wchar_t* commandLine);

// Reads the parameters in order; the first error ends the scan, help ends it at once.
TCommandLineRequest ParseCommandLine(const std::vector<std::wstring>& params);

extern const wchar_t* const HelpTitle;
extern const wchar_t* const HelpText;

} // namespace Quillmend
