#include "CorePackage.h"

#include <windows.h>

#include <vector>

#include "Common/CheckedCall.h"
#include "Common/PackageInfo.h"
#include "HostApp.h"

namespace QmHost {

namespace {

std::vector<HMODULE> g_corePackages;

bool LoadCorePackage(HostApp& app, const std::wstring& name, std::wstring& reason) {
  const std::wstring path = app.hostDir + name;
  HMODULE module = LoadLibraryW(path.c_str());
  if (!module) {
    reason = L"cannot load " + name;
    return false;
  }
  PackageInfo info;
  std::wstring error;
  if (!ReadPackageInfo(module, info, error)) {
    reason = name + L": " + error;
    return false;
  }
  const void* initialize = reinterpret_cast<const void*>(GetProcAddress(module, "Initialize"));
  if (!initialize) {
    reason = name + L" has no Initialize export";
    return false;
  }
  HostExceptionReport report;
  int imbalance = 0;
  if (!CallHostGuarded([&] { CallStdcallChecked(initialize, imbalance); }, report, &app.rtl)) {
    reason = name + L": Initialize raised " + report.Text();
    return false;
  }
  app.CheckStack(L"Initialize " + name, imbalance);
  g_corePackages.push_back(module);
  return true;
}

} // namespace

bool LoadCorePackages(HostApp& app, std::wstring& reason) {
  for (const wchar_t* name : {L"coreide150.bpl", L"delphicoreide150.bpl"})
    if (!LoadCorePackage(app, name, reason)) return false;
  return true;
}

bool IsCorePackage(HMODULE module) {
  for (HMODULE core : g_corePackages)
    if (core == module) return true;
  return false;
}

} // namespace QmHost
