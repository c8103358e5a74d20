// bds.exe's command line:
//   bds.exe [-r<RegKey>] [-journal <path>] [-bccide] [-comp32x] [-noapphandler]
//           [-showmessageboxes] [-omit <module>]... [-run <workload> [args...]]
#pragma once

#include <string>
#include <vector>

#include "HostApp.h"

namespace QmHost {

// Fills options from the arguments after the program name; false with an
// error text for an unknown or incomplete switch.
bool ParseOptions(const std::vector<std::wstring>& args, HostOptions& options, std::wstring& error);

extern const wchar_t* const kUsage;

} // namespace QmHost
