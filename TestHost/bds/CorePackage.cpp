#include "CorePackage.h"

#include <windows.h>

#include "Common/CheckedCall.h"
#include "Common/PackageInfo.h"
#include "HostApp.h"

namespace QmHost {

bool LoadCorePackage(HostApp& app, std::wstring& reason) { return LoadBoundPackage(app, L"coreide150.bpl", reason); }

bool LoadBoundPackage(HostApp& app, const std::wstring& file, std::wstring& reason) {
  const std::wstring path = app.hostDir + file;
  HMODULE module = LoadLibraryW(path.c_str());
  if (!module) {
    reason = L"cannot load " + file;
    return false;
  }
  PackageInfo info;
  std::wstring error;
  if (!ReadPackageInfo(module, info, error)) {
    reason = file + L": " + error;
    return false;
  }
  const void* initialize = reinterpret_cast<const void*>(GetProcAddress(module, "Initialize"));
  if (!initialize) {
    reason = file + L" has no Initialize export";
    return false;
  }
  HostExceptionReport report;
  int imbalance = 0;
  if (!CallHostGuarded([&] { CallStdcallChecked(initialize, imbalance); }, report, &app.rtl)) {
    reason = file + L": Initialize raised " + report.Text();
    return false;
  }
  app.CheckStack(L"Initialize " + file, imbalance);
  return true;
}

} // namespace QmHost
