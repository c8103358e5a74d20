#include "PackageLoader.h"

#include "Common/CheckedCall.h"
#include "HostApp.h"
#include "Registry.h"

namespace QmHost {

namespace {

std::vector<LoadedPackage> g_packages;
std::vector<LoadedPackage> g_runtimePackages;  // loaded before the IDE packages, never unloaded

using PackageProc = const void*;

PackageProc PackageExport(HMODULE module, const char* name) {
  return reinterpret_cast<const void*>(GetProcAddress(module, name));
}

void Refuse(const std::wstring& path, const std::wstring& reason) {
  App().Log(L"PACKAGE-REFUSED " + JournalEscape(path) + L": " + JournalEscape(reason));
}

std::wstring Widen(const std::string& s) {
  std::wstring out;
  for (unsigned char c : s) out += static_cast<wchar_t>(c);
  return out;
}

std::wstring FileTitle(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
  size_t dot = name.find_last_of(L'.');
  return dot == std::wstring::npos ? name : name.substr(0, dot);
}

// The unit a new package shares with an already loaded one, if any.
bool FindDuplicateUnit(const PackageInfo& info, std::wstring& unit, std::wstring& owner) {
  for (const std::string& name : info.units) {
    for (const std::vector<LoadedPackage>* list : {&g_runtimePackages, &g_packages}) {
      for (const LoadedPackage& loaded : *list) {
        for (const std::string& other : loaded.info.units) {
          if (SameUnitName(name, other)) {
            unit = Widen(name);
            owner = FileTitle(loaded.path);
            return true;
          }
        }
      }
    }
  }
  return false;
}

} // namespace

bool LoadPackage(const std::wstring& path) {
  HostApp& app = App();
  HMODULE module = LoadLibraryW(path.c_str());
  if (!module) {
    Refuse(path, L"cannot load the module (error " + std::to_wstring(GetLastError()) + L")");
    return false;
  }
  PackageInfo info;
  std::wstring error, unit, owner;
  PackageProc initialize = PackageExport(module, "Initialize");
  if (!ReadPackageInfo(module, info, error)) {
    Refuse(path, error);
  } else if (FindDuplicateUnit(info, unit, owner)) {
    Refuse(path, L"Cannot load package '" + FileTitle(path) + L".' It contains unit '" + unit +
                     L"', which is also contained in package '" + owner + L"'");
  } else if (!initialize) {
    Refuse(path, L"no Initialize export");
  } else {
    app.Log(L"PACKAGE-LOADED " + JournalEscape(path));
    HostExceptionReport report;
    int imbalance = 0;
    bool returned = CallHostGuarded([&] { CallStdcallChecked(initialize, imbalance); }, report, &app.rtl);
    app.CheckStack(L"Initialize " + JournalEscape(path), imbalance);
    if (returned) {
      g_packages.push_back(LoadedPackage{path, module, info});
      app.Log(L"PACKAGE-INITIALIZED " + JournalEscape(path));
      return true;
    }
    app.LogException(report);
    Refuse(path, L"Initialize raised an exception");
  }
  FreeLibrary(module);
  return false;
}

bool LoadRuntimePackage(const std::wstring& path, std::wstring& error) {
  HostApp& app = App();
  HMODULE module = LoadLibraryW(path.c_str());
  if (!module) {
    error = L"cannot load " + path + L" (error " + std::to_wstring(GetLastError()) + L")";
    return false;
  }
  PackageInfo info;
  std::wstring unit, owner;
  PackageProc initialize = PackageExport(module, "Initialize");
  if (!ReadPackageInfo(module, info, error)) {
    error = path + L": " + error;
    return false;
  }
  if (FindDuplicateUnit(info, unit, owner)) {
    error = path + L": contains unit '" + unit + L"', which is also contained in package '" + owner + L"'";
    return false;
  }
  if (!initialize) {
    error = path + L": no Initialize export";
    return false;
  }
  HostExceptionReport report;
  int imbalance = 0;
  const bool returned = CallHostGuarded([&] { CallStdcallChecked(initialize, imbalance); }, report, &app.rtl);
  app.CheckStack(L"Initialize " + JournalEscape(path), imbalance);
  if (!returned) {
    app.LogException(report);
    error = path + L": Initialize raised an exception";
    return false;
  }
  g_runtimePackages.push_back(LoadedPackage{path, module, info});
  return true;
}

// A package of that file name is one of the IDE's own, loaded at start.
static bool LoadedAtStart(const std::wstring& path) {
  const std::wstring title = FileTitle(path);
  for (const LoadedPackage& package : g_runtimePackages)
    if (lstrcmpiW(FileTitle(package.path).c_str(), title.c_str()) == 0) return true;
  return false;
}

void LoadKnownPackages() {
  HostApp& app = App();
  for (const auto& [path, description] : ReadStringValues(app.rootKey, L"Known IDE Packages")) {
    if (description.empty() || description[0] == L'_') {
      app.Log(L"PACKAGE-SKIPPED " + JournalEscape(path) + L": no description");
    } else if (HasValue(app.rootKey, L"Disabled Packages", path)) {
      app.Log(L"PACKAGE-SKIPPED " + JournalEscape(path) + L": disabled");
    } else if (LoadedAtStart(path)) {
      app.Log(L"PACKAGE-SKIPPED " + JournalEscape(path) + L": loaded at start");
    } else {
      LoadPackage(path);
    }
  }
}

void FinalizePackages() {
  HostApp& app = App();
  while (!g_packages.empty()) {
    LoadedPackage package = g_packages.back();
    g_packages.pop_back();
    if (PackageProc finalize = PackageExport(package.module, "Finalize")) {
      HostExceptionReport report;
      int imbalance = 0;
      if (!CallHostGuarded([&] { CallStdcallChecked(finalize, imbalance); }, report, &app.rtl))
        app.LogException(report);
      app.CheckStack(L"Finalize " + JournalEscape(package.path), imbalance);
    }
    app.Log(L"PACKAGE-FINALIZED " + JournalEscape(package.path));
    FreeLibrary(package.module);
  }
}

const std::vector<LoadedPackage>& LoadedPackages() { return g_packages; }

} // namespace QmHost
