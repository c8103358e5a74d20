#include "Check/CheckCommandLine.h"

#include "StringUtils.h"

namespace Quillmend {

const wchar_t* const CheckUsage =
    L"Usage: QuillmendCheck.exe [/R<regkey>] [/JSON]\r\n"
    L"\r\n"
    L"Checks, without installing anything and without running any of the IDE's code,\r\n"
    L"which Quillmend patches would apply to the RAD Studio XE installation registered\r\n"
    L"under HKCU\\Software\\Embarcadero\\<regkey>\\8.0, and why the others would not.\r\n"
    L"\r\n"
    L"  /R<regkey>  the IDE's registry key (default BDS), as given to QuillmendRegXE.exe\r\n"
    L"  /JSON       print the result as one JSON document\r\n"
    L"  /?          this text\r\n"
    L"\r\n"
    L"Exit codes: 0 every patch that can be checked applies, 1 some fail,\r\n"
    L"2 command-line error, 3 no such IDE root or no bin folder in it,\r\n"
    L"4 the check stopped on a fault of its own.\r\n";

TCheckCommandLine ParseCheckCommandLine(const std::vector<std::wstring>& arguments) {
  TCheckCommandLine line;
  bool keyGiven = false;
  for (const std::wstring& argument : arguments) {
    if (SameText(argument, L"/?") || SameText(argument, L"-?") || SameText(argument, L"-h") ||
        SameText(argument, L"--help")) {
      line.Help = true;
    } else if (SameText(argument, L"/JSON") || SameText(argument, L"-json") || SameText(argument, L"--json")) {
      line.Json = true;
    } else if (StartsText(L"/R", argument) || StartsText(L"-r", argument)) {
      const std::wstring key = Trim(argument.substr(2));
      if (key.empty()) {
        line.Error = L"\"" + argument + L"\" names no registry key (for example /RBDS)";
      } else if (keyGiven && !SameText(key, line.RegKey)) {
        line.Error = L"only one registry key can be checked at a time (\"" + line.RegKey + L"\" and \"" + key + L"\")";
      }
      line.RegKey = key;
      keyGiven = true;
    } else {
      line.Error = L"Unknown command line parameter \"" + argument + L"\"";
    }
    if (!line.Error.empty()) break;
  }
  return line;
}

} // namespace Quillmend
