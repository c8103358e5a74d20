#include "StartupModules.h"

#include <windows.h>

#include "HostApp.h"
#include "PackageLoader.h"

namespace QmHost {

namespace {

// In the order the packages require each other (coreide150 follows as the core package).
const wchar_t* const StartupModuleNames[] = {L"vcl150.bpl",           L"vclx150.bpl",      L"xmlrtl150.bpl",    L"boreditu.dll",
                                             L"vclide150.bpl",        L"delphicoreide150.bpl", L"designide150.bpl",
                                             L"comptoolbar150.bpl",   L"dbkdebugide150.bpl", L"dbkdebugproide150.bpl"};

bool IsPackage(const std::wstring& name) { return name.size() > 4 && name.compare(name.size() - 4, 4, L".bpl") == 0; }

} // namespace

bool LoadStartupModules(HostApp& app, std::wstring& error) {
  for (const wchar_t* name : StartupModuleNames) {
    // Left out on request, or already there.
    if (app.options.Omits(name) || GetModuleHandleW(name)) continue;
    const std::wstring path = app.hostDir + name;
    if (IsPackage(name)) {
      if (!LoadRuntimePackage(path, error)) return false;
    } else if (!LoadLibraryW(path.c_str())) {
      error = L"cannot load " + path + L" (error " + std::to_wstring(GetLastError()) + L")";
      return false;
    }
  }
  return true;
}

} // namespace QmHost
