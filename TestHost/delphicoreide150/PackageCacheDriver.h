// The stand-in package and palette caches (delphicoreide150.bpl, units
// Pascpppakmgr and Comppalmgr), declared once for the stand-in, bds.exe,
// the tests and the benchmarks.
//
// The four routines (host register convention: EAX = Self, EDX = the ini
// file, CL a Boolean for SavePackageCache) read or write the cache in the
// ini file; they start as the host's compiler starts a routine. The ini
// file is our record {reads, writes}; Self is not looked at.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "Common/HostLayout.h"

namespace PackageCacheDriver {

namespace Export {
constexpr const char* LoadPackageCache = "@Pascpppakmgr@TProfileData@LoadPackageCache$qqrpx23Inifiles@TCustomIniFile";
constexpr const char* SavePackageCache = "@Pascpppakmgr@TProfileData@SavePackageCache$qqrpx23Inifiles@TCustomIniFileo";
constexpr const char* LoadData = "@Comppalmgr@TComponentPalettePageItemDelegate@LoadData$qqrpx23Inifiles@TCustomIniFile";
constexpr const char* SaveData = "@Comppalmgr@TComponentPalettePageItemDelegate@SaveData$qqrpx23Inifiles@TCustomIniFile";
}  // namespace Export

struct TIniFile {
  std::int32_t Reads;
  std::int32_t Writes;
};

using CacheFn = void(QM_HOST_REGISTER*)(void* self, TIniFile* ini, std::uint32_t flag);

// The four routines in the order above; false when one is missing.
inline bool Bind(HMODULE module, CacheFn (&routines)[4]) {
  const char* const names[4] = {Export::LoadPackageCache, Export::SavePackageCache, Export::LoadData,
                                Export::SaveData};
  bool ok = true;
  for (int i = 0; i < 4; ++i) {
    routines[i] = reinterpret_cast<CacheFn>(reinterpret_cast<void*>(module ? GetProcAddress(module, names[i]) : nullptr));
    ok = ok && routines[i];
  }
  return ok;
}

}  // namespace PackageCacheDriver
