// TDesignPackage.Create loads the design package through the IDE's package
// loader (bds.exe's, or LoadLibraryW when none was set) and makes the
// package's object; a package that cannot be loaded raises a host exception
// from the constructor, as the IDE's does.
#include <windows.h>

#include <string>
#include <type_traits>

#include "Common/HostRtl.h"
#include "DesignPackagesDriver.h"

namespace D = DesignPackagesDriver;

extern "C" {
void* QM_HOST_REGISTER CoreIdeDesignPackageCreate(void* classRef, uint32_t allocate, const wchar_t* fileName,
                                                  void* packages) QM_HOST_SYMBOL(coreide_DesignPackageCreateBody);
void __stdcall DesignPackagesLoad(const wchar_t* path);
}

namespace {

D::LoaderFn g_loader = nullptr;
volatile LONG g_creates = 0, g_loads = 0, g_failures = 0;
HMODULE g_lastModule = nullptr;

// The module the loader just loaded (found by its path; the loader keeps it).
HMODULE Loaded(const std::wstring& path) {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, path.c_str(), &module);
  return module;
}

}  // namespace

extern "C" {

void* QM_HOST_REGISTER CoreIdeDesignPackageCreate(void* classRef, uint32_t, const wchar_t* fileName, void* packages) {
  InterlockedIncrement(&g_creates);
  const QmHost::HostRtl* rtl = QmHost::LoadedHostRtl();
  DesignPackagesLoad(fileName);
  auto* object = static_cast<uint8_t*>(rtl->getMem(D::DesignPackageLayout::Size));
  *reinterpret_cast<void**>(object) = classRef;
  auto** name = reinterpret_cast<wchar_t**>(object + D::DesignPackageLayout::FileName);
  *name = nullptr;
  rtl->ustrAsg(name, fileName);
  *reinterpret_cast<void**>(object + D::DesignPackageLayout::Packages) = packages;
  *reinterpret_cast<HMODULE*>(object + D::DesignPackageLayout::Module) = g_lastModule;
  return object;
}

void __stdcall DesignPackagesSetLoader(D::LoaderFn loader) { g_loader = loader; }

void __stdcall DesignPackagesLoad(const wchar_t* path) {
  const std::wstring file = path ? path : L"";
  bool loaded = false;
  if (!file.empty()) loaded = g_loader ? g_loader(file.c_str()) != 0 : LoadLibraryW(file.c_str()) != nullptr;
  if (!loaded) {
    InterlockedIncrement(&g_failures);
    const QmHost::HostRtl* rtl = QmHost::LoadedHostRtl();
    rtl->raiseExcept(rtl->NewException(L"Can't load package " + file));
  }
  InterlockedIncrement(&g_loads);
  g_lastModule = Loaded(file);
}

void __stdcall DesignPackagesCounts(int32_t* creates, int32_t* loads, int32_t* failures) {
  if (creates) *creates = g_creates;
  if (loads) *loads = g_loads;
  if (failures) *failures = g_failures;
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&CoreIdeDesignPackageCreate), D::CreateFn> &&
                  std::is_same_v<decltype(&DesignPackagesSetLoader), D::SetLoaderFn> &&
                  std::is_same_v<decltype(&DesignPackagesLoad), D::LoadFn> &&
                  std::is_same_v<decltype(&DesignPackagesCounts), D::CountsFn>,
              "exports differ from DesignPackagesDriver.h");
