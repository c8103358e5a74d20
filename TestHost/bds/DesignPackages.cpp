#include "DesignPackages.h"

#include <windows.h>

#include <string>
#include <vector>

#include "HostApp.h"
#include "PackageLoader.h"
#include "Registry.h"
#include "coreide150/DesignPackagesDriver.h"

namespace QmHost {

namespace {

namespace D = DesignPackagesDriver;

template <class T>
T Bind(const wchar_t* module, const char* name) {
  HMODULE handle = GetModuleHandleW(module);
  return reinterpret_cast<T>(reinterpret_cast<void*>(handle ? GetProcAddress(handle, name) : nullptr));
}

int32_t __stdcall LoadWithIdeLoader(const wchar_t* path) { return LoadPackage(path) ? 1 : 0; }

enum class Via { Create, LoadDesignPackage };

void LoadFrom(HostApp& app, const std::wstring& subKey, Via via) {
  auto create = Bind<D::CreateFn>(L"coreide150.bpl", D::Export::Create);
  auto load = Bind<D::LoadDesignPackageFn>(L"delphicoreide150.bpl", D::Export::LoadDesignPackage);
  for (const auto& [path, description] : ReadStringValues(app.rootKey, subKey)) {
    const std::wstring escaped = JournalEscape(path);
    if (description.empty() || description[0] == L'_') {
      app.Log(L"DESIGN-PACKAGE-SKIPPED " + escaped + L": no description");
    } else if (HasValue(app.rootKey, L"Disabled Packages", path)) {
      app.Log(L"DESIGN-PACKAGE-SKIPPED " + escaped + L": disabled");
    } else if (GetModuleHandleW(path.c_str())) {
      app.Log(L"DESIGN-PACKAGE-SKIPPED " + escaped + L": loaded");
    } else if ((via == Via::Create && !create) || (via == Via::LoadDesignPackage && !load)) {
      app.Log(L"DESIGN-PACKAGE-SKIPPED " + escaped + L": no loader");
    } else {
      app.Log(L"DESIGN-PACKAGE " + escaped + (via == Via::Create ? L" via=TDesignPackage" : L" via=LoadDesignPackage"));
      wchar_t* name = app.rtl.NewString(path);
      HostExceptionReport report;
      const bool returned = CallHostGuarded(
          [&] {
            if (via == Via::Create) create(nullptr, 1, name, nullptr);
            else load(name);
          },
          report, &app.rtl);
      app.rtl.Release(name);
      if (!returned) app.LogException(report);
    }
  }
}

} // namespace

void LoadDesignPackages() {
  HostApp& app = App();
  if (auto setLoader = Bind<D::SetLoaderFn>(L"coreide150.bpl", D::Export::SetLoader)) setLoader(&LoadWithIdeLoader);
  LoadFrom(app, L"Known Packages", Via::Create);
  std::vector<std::wstring> personalities = app.options.personalities;
  if (personalities.empty()) personalities = {L"Delphi", L"CBuilder"};
  for (const std::wstring& personality : personalities) {
    LoadFrom(app, L"Known Packages\\" + personality, Via::LoadDesignPackage);
    LoadFrom(app, L"Known IDE Packages\\" + personality, Via::LoadDesignPackage);
  }
}

} // namespace QmHost
