#include "CorePackage.h"

#include <windows.h>

#include "Common/CheckedCall.h"
#include "Common/PackageInfo.h"
#include "HostApp.h"

namespace QmHost {

bool LoadCorePackage(HostApp& app, std::wstring& reason) {
  const std::wstring path = app.hostDir + L"coreide150.bpl";
  HMODULE module = LoadLibraryW(path.c_str());
  if (!module) {
    reason = L"cannot load coreide150.bpl";
    return false;
  }
  PackageInfo info;
  std::wstring error;
  if (!ReadPackageInfo(module, info, error)) {
    reason = L"coreide150.bpl: " + error;
    return false;
  }
  const void* initialize = reinterpret_cast<const void*>(GetProcAddress(module, "Initialize"));
  if (!initialize) {
    reason = L"coreide150.bpl has no Initialize export";
    return false;
  }
  HostExceptionReport report;
  int imbalance = 0;
  if (!CallHostGuarded([&] { CallStdcallChecked(initialize, imbalance); }, report, &app.rtl)) {
    reason = L"coreide150.bpl: Initialize raised " + report.Text();
    return false;
  }
  app.CheckStack(L"Initialize coreide150.bpl", imbalance);
  return true;
}

} // namespace QmHost
