// The stand-in compiler's package driver, declared once for bds.exe's
// "packages" workload, the tests and the benchmark: export names, function
// types and a binder (DccPackages.def); DccPackageDriver.cpp checks its
// definitions against these types.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"
#include "dcc150/DccDriver.h"

namespace DccPackageDriver {

struct OpaquePackage;

namespace Export {
constexpr const char* DefinePackage = "DccDefinePackage";
constexpr const char* ClearCatalog = "DccClearPackageCatalog";
constexpr const char* PreparePackages = "DccPreparePackages";
constexpr const char* LoadPackages = "DccLoadPackages";
constexpr const char* PrepareQueries = "DccPreparePackageQueries";
constexpr const char* UnitQueries = "DccRunUnitQueries";
constexpr const char* NameQueries = "DccRunPackageNameQueries";
constexpr const char* UnloadPackages = "DccUnloadPackages";
constexpr const char* BeginUnload = "DccBeginUnloadPackage";
constexpr const char* ReleaseAll = "DccReleaseAllPackages";
constexpr const char* Checksum = "DccPackageChecksum";
constexpr const char* ErrorCount = "DccPackageErrorCount";
constexpr const char* ErrorText = "DccPackageErrorText";
// The compiler's own routines (host register convention).
constexpr const char* FindPackage = "DccFindPackage";
constexpr const char* RemovePackage = "DccRemovePackage";
constexpr const char* ReleasePackages = "DccReleasePackages";
constexpr const char* FindOrLoadPackage = "DccFindOrLoadPackage";
constexpr const char* PackageOfUnit = "DccPackageOfUnit";
constexpr const char* CheckPackageUnits = "DccCheckPackageUnits";
} // namespace Export

// The phases of the "packages" workload ("PKG-PHASE <name> ms=<ms> checksum=<hex>").
namespace Phase {
enum : int { Load, UnitQueries, NameQueries, Unload, ReleaseAll, Count };
constexpr const wchar_t* Names[Count] = {L"load", L"unitqueries", L"namequeries", L"unload", L"releaseall"};
} // namespace Phase

template <class Package = OpaquePackage>
struct Driver {
  // Catalog: what loading a package by name finds (names compared as the compiler does).
  using DefinePackageFn = uint32_t(__stdcall*)(const char* name, const char* const* units, const uint32_t* unitFlags,
                                               int count);
  using ClearCatalogFn = void(__stdcall*)();
  // The workload's catalog: `packages` packages of `units` units (pairs of
  // packages share one unit, every package holds a weakly packaged one).
  using PreparePackagesFn = void(__stdcall*)(int packages, int units, uint32_t randomSeed);
  // Loads every catalog package through the find-or-load routine, the
  // duplicate check after each; returns how many duplicates were reported.
  using LoadPackagesFn = int(__stdcall*)();
  using PrepareQueriesFn = void(__stdcall*)(int unitQueries, int nameQueries, uint32_t randomSeed);
  // Run the prepared queries; return how many were answered with a package.
  using RunQueriesFn = int(__stdcall*)();
  // Every `every`-th package starts to unload, the unit queries run, then
  // those packages are removed; returns how many were removed.
  using UnloadPackagesFn = int(__stdcall*)(int every);
  using BeginUnloadFn = void(__stdcall*)(Package* package);
  using ReleaseAllFn = void(__stdcall*)();
  using ChecksumFn = uint32_t(__stdcall*)();
  using ErrorCountFn = int(__stdcall*)();
  // "number|package|other|unit" of report `index`, in the order reported.
  using ErrorTextFn = const char*(__stdcall*)(int index);
  using FindPackageFn = Package*(QM_HOST_REGISTER*)(const char* name);
  using RemovePackageFn = void(QM_HOST_REGISTER*)(Package* package, int keepRecord);
  using ReleasePackagesFn = void(QM_HOST_REGISTER*)();
  using FindOrLoadPackageFn = Package*(QM_HOST_REGISTER*)(const char* name);
  using PackageOfUnitFn = Package*(QM_HOST_REGISTER*)(const char* unitName);
  using CheckPackageUnitsFn = int(QM_HOST_REGISTER*)(Package* package);

  DefinePackageFn DefinePackage = nullptr;
  ClearCatalogFn ClearCatalog = nullptr;
  PreparePackagesFn PreparePackages = nullptr;
  LoadPackagesFn LoadPackages = nullptr;
  PrepareQueriesFn PrepareQueries = nullptr;
  RunQueriesFn UnitQueries = nullptr;
  RunQueriesFn NameQueries = nullptr;
  UnloadPackagesFn UnloadPackages = nullptr;
  BeginUnloadFn BeginUnload = nullptr;
  ReleaseAllFn ReleaseAll = nullptr;
  ChecksumFn Checksum = nullptr;
  ErrorCountFn ErrorCount = nullptr;
  ErrorTextFn ErrorText = nullptr;
  FindPackageFn FindPackage = nullptr;
  RemovePackageFn RemovePackage = nullptr;
  ReleasePackagesFn ReleasePackages = nullptr;
  FindOrLoadPackageFn FindOrLoadPackage = nullptr;
  PackageOfUnitFn PackageOfUnit = nullptr;
  CheckPackageUnitsFn CheckPackageUnits = nullptr;

  bool Bind(HMODULE dcc, const char** missing = nullptr) {
    const char* absent = nullptr;
    auto bind = [&](auto& slot, const char* name) {
      if (!DccDriver::BindExport(dcc, slot, name) && !absent) absent = name;
    };
    bind(DefinePackage, Export::DefinePackage);
    bind(ClearCatalog, Export::ClearCatalog);
    bind(PreparePackages, Export::PreparePackages);
    bind(LoadPackages, Export::LoadPackages);
    bind(PrepareQueries, Export::PrepareQueries);
    bind(UnitQueries, Export::UnitQueries);
    bind(NameQueries, Export::NameQueries);
    bind(UnloadPackages, Export::UnloadPackages);
    bind(BeginUnload, Export::BeginUnload);
    bind(ReleaseAll, Export::ReleaseAll);
    bind(Checksum, Export::Checksum);
    bind(ErrorCount, Export::ErrorCount);
    bind(ErrorText, Export::ErrorText);
    bind(FindPackage, Export::FindPackage);
    bind(RemovePackage, Export::RemovePackage);
    bind(ReleasePackages, Export::ReleasePackages);
    bind(FindOrLoadPackage, Export::FindOrLoadPackage);
    bind(PackageOfUnit, Export::PackageOfUnit);
    bind(CheckPackageUnits, Export::CheckPackageUnits);
    if (missing) *missing = absent;
    return !absent;
  }
};

} // namespace DccPackageDriver
