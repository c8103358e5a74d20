#include "CommandLine.h"

#include "StringUtils.h"

#include <algorithm>

namespace Quillmend {

const wchar_t* const HelpTitle = L"Quillmend Installer/Uninstaller";
const wchar_t* const HelpText =
    L"/INSTALL      \t--install      \tInstall Quillmend\n"
    L"/UNINSTALL    \t--uninstall    \tUninstall Quillmend\n"
    L"/EXTRACT      \t--extract      \tExtract the files without installation\n"
    L"/DEFAULTREGKEY\t--defaultregkey\tAuto select default regkey\n"
    L"/R<regkey>    \t-r<regkey>     \tAuto select regkey\n"
    L"/O+<option>   \t-o+<option>    \tSet option\n"
    L"/O-<option>   \t-o-<option>    \tUnset option\n"
    L"\n"
    L"Options:\n"
    L"  DisablePackageCache";

std::vector<std::wstring> SplitCommandLine(const wchar_t* commandLine) {
  std::vector<std::wstring> params;
  const wchar_t* p = commandLine ? commandLine : L"";
  bool first = true;
  for (;;) {
    while (*p && *p <= L' ') ++p;
    if (!*p) break;
    std::wstring param;
    while (*p && *p > L' ') {
      if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') param += *p++;
        if (*p) ++p;
      } else {
        param += *p++;
      }
    }
    if (!first) params.push_back(param);
    first = false;
  }
  return params;
}

namespace {

bool IsOneOf(const std::wstring& param, const wchar_t* a, const wchar_t* b, const wchar_t* c = nullptr) {
  return SameText(param, a) || SameText(param, b) || (c && SameText(param, c));
}

void SelectKey(std::vector<std::wstring>& keys, const std::wstring& key) {
  auto less = [](const std::wstring& a, const std::wstring& b) { return CompareText(a, b) < 0; };
  auto at = std::lower_bound(keys.begin(), keys.end(), key, less);
  if (at == keys.end() || !SameText(*at, key)) keys.insert(at, key);
}

// Sets the mode; returns the conflict text if a mode was chosen before.
std::wstring SetMode(TCommandLineRequest& request, TInstallMode mode) {
  if (request.Mode != TInstallMode::None) {
    switch (mode) {
    case TInstallMode::Install: return L"/INSTALL can't be used with /UNINSTALL ";
    case TInstallMode::Extract: return L"/EXTRACT can't be used with /INSTALL /UNINSTALL ";
    default: return L"/UNINSTALL can't be used with /INSTALL ";
    }
  }
  request.Mode = mode;
  return std::wstring();
}

std::wstring ReadOption(TCommandLineRequest& request, const std::wstring& param) {
  std::wstring rest = Trim(param.substr(2));
  if (rest.empty() || (rest[0] != L'+' && rest[0] != L'-'))
    return FormatText(L"Invalid option: \"%s\"", param);
  bool on = rest[0] == L'+';
  if (!SameText(Trim(rest.substr(1)), L"DisablePackageCache"))
    return FormatText(L"Unknown option: \"%s\"", param);
  request.DisablePackageCache = on ? 1 : 0;
  return std::wstring();
}

} // namespace

TCommandLineRequest ParseCommandLine(const std::vector<std::wstring>& params) {
  TCommandLineRequest request;
  for (const std::wstring& param : params) {
    std::wstring error;
    if (IsOneOf(param, L"/?", L"--help", L"-h")) {
      request.ShowHelp = true;
      return request;
    } else if (IsOneOf(param, L"/INSTALL", L"--install")) {
      error = SetMode(request, TInstallMode::Install);
    } else if (IsOneOf(param, L"/EXTRACT", L"--extract")) {
      error = SetMode(request, TInstallMode::Extract);
    } else if (IsOneOf(param, L"/UNINSTALL", L"--uninstall")) {
      error = SetMode(request, TInstallMode::Uninstall);
    } else if (IsOneOf(param, L"/DEFAULTREGKEY", L"--defaultregkey")) {
      SelectKey(request.SelectedKeys, L"BDS");
    } else if (StartsText(L"/R", param) || StartsText(L"-r", param)) {
      std::wstring key = Trim(param.substr(2));
      if (!key.empty()) SelectKey(request.SelectedKeys, key);
    } else if (StartsText(L"/O", param) || StartsText(L"-o", param)) {
      error = ReadOption(request, param);
    } else {
      error = FormatText(L"Unknown command line parameter \"%s\"", param);
    }
    if (!error.empty()) {
      request.Error = error;
      return request;
    }
  }
  return request;
}

} // namespace Quillmend
