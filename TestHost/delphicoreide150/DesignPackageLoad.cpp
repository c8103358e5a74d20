// Pascpppakmgr.LoadDesignPackage: the personality's design package loaded
// through the core package's loader (coreide150.bpl's DesignPackagesLoad);
// a package that cannot be loaded raises a host exception.
#include <windows.h>

#include <type_traits>

#include "coreide150/DesignPackagesDriver.h"

namespace D = DesignPackagesDriver;

extern "C" {
void QM_HOST_REGISTER DelphiCoreLoadDesignPackage(const wchar_t* fileName)
    QM_HOST_SYMBOL(delphicore_LoadDesignPackageBody);
}

extern "C" void QM_HOST_REGISTER DelphiCoreLoadDesignPackage(const wchar_t* fileName) {
  static const auto load = reinterpret_cast<D::LoadFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"coreide150.bpl"), D::Export::Load)));
  load(fileName);
}

static_assert(std::is_same_v<decltype(&DelphiCoreLoadDesignPackage), D::LoadDesignPackageFn>,
              "export differs from DesignPackagesDriver.h");
