// The IDE's design packages as the core package loads them (coreide150.bpl,
// unit Pakmgr: DesignPackages.cpp, DesignPackagesEntries.S) and the Delphi
// personality's loader (delphicoreide150.bpl, unit Pascpppakmgr), declared
// once for the packages, the tests and bds.exe.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "Common/HostLayout.h"

namespace DesignPackagesDriver {

namespace Export {
// constructor TDesignPackage.Create(const FileName: string; Packages: TDesignPackages)
// — EAX = class, DL = allocate, ECX = FileName, the packages on the stack → EAX the object.
constexpr const char* Create = "@Pakmgr@TDesignPackage@$bctr$qqrx20System@UnicodeStringp22Pakmgr@TDesignPackages";
// procedure LoadDesignPackage(const FileName: string) — EAX = FileName (delphicoreide150.bpl).
constexpr const char* LoadDesignPackage = "@Pascpppakmgr@LoadDesignPackage$qqrx20System@UnicodeString";
constexpr const char* SetLoader = "DesignPackagesSetLoader";
constexpr const char* Load = "DesignPackagesLoad";
constexpr const char* Counts = "DesignPackagesCounts";
}  // namespace Export

using CreateFn = void*(QM_HOST_REGISTER*)(void* classRef, uint32_t allocate, const wchar_t* fileName, void* packages);
using LoadDesignPackageFn = void(QM_HOST_REGISTER*)(const wchar_t* fileName);

// The IDE's package loader: 1 when the package was loaded (and stays loaded).
using LoaderFn = int32_t(__stdcall*)(const wchar_t* path);
// The stand-in's (stdcall). The loader both routines use (nil: LoadLibraryW).
using SetLoaderFn = void(__stdcall*)(LoaderFn loader);
// One load through that loader; a failed load raises Exception
// "Can't load package <path>" (a host exception).
using LoadFn = void(__stdcall*)(const wchar_t* path);
// Constructor calls, LoadDesignPackage calls, failed loads so far.
using CountsFn = void(__stdcall*)(int32_t* creates, int32_t* loads, int32_t* failures);

// The TDesignPackage object (our layout): {class reference, the file name
// (a host string the object holds), the packages, the module}.
namespace DesignPackageLayout {
constexpr int FileName = 4;
constexpr int Packages = 8;
constexpr int Module = 12;
constexpr int Size = 16;
}  // namespace DesignPackageLayout

}  // namespace DesignPackagesDriver
