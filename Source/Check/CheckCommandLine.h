// QuillmendCheck.exe [/R<regkey>] [/JSON]: which installation to check and how to print.
#pragma once

#include <string>
#include <vector>

namespace Quillmend {

struct TCheckCommandLine {
  std::wstring RegKey = L"BDS";
  bool Json = false;
  bool Help = false;
  std::wstring Error;  // a rejected command line: why
};

// Parameters compare without case; "/" and "-" forms are both accepted, as
// the installer accepts them.
TCheckCommandLine ParseCheckCommandLine(const std::vector<std::wstring>& arguments);

extern const wchar_t* const CheckUsage;

} // namespace Quillmend
