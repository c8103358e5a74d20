#include "StartupModules.h"

#include <windows.h>

#include "HostApp.h"
#include "PackageLoader.h"

namespace QmHost {

namespace {

const wchar_t* const StartupModuleNames[] = {L"vcl150.bpl", L"boreditu.dll"};

bool IsPackage(const std::wstring& name) { return name.size() > 4 && name.compare(name.size() - 4, 4, L".bpl") == 0; }

} // namespace

bool LoadStartupModules(HostApp& app, std::wstring& error) {
  for (const wchar_t* name : StartupModuleNames) {
    if (app.options.Omits(name)) continue;
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
