// The package and palette caches (PackageCacheDriver.h): each routine reads
// or writes its cache in the ini file.
#include "Common/HostLayout.h"
#include "PackageCacheDriver.h"

using PackageCacheDriver::TIniFile;

extern "C" {

void QM_HOST_REGISTER delphicore_LoadPackageCacheBody(void*, TIniFile* ini) QM_HOST_SYMBOL(delphicore_LoadPackageCacheBody);
void QM_HOST_REGISTER delphicore_LoadPackageCacheBody(void*, TIniFile* ini) { ++ini->Reads; }

void QM_HOST_REGISTER delphicore_SavePackageCacheBody(void*, TIniFile* ini, std::uint32_t)
    QM_HOST_SYMBOL(delphicore_SavePackageCacheBody);
void QM_HOST_REGISTER delphicore_SavePackageCacheBody(void*, TIniFile* ini, std::uint32_t) { ++ini->Writes; }

void QM_HOST_REGISTER delphicore_PaletteLoadDataBody(void*, TIniFile* ini) QM_HOST_SYMBOL(delphicore_PaletteLoadDataBody);
void QM_HOST_REGISTER delphicore_PaletteLoadDataBody(void*, TIniFile* ini) { ++ini->Reads; }

void QM_HOST_REGISTER delphicore_PaletteSaveDataBody(void*, TIniFile* ini) QM_HOST_SYMBOL(delphicore_PaletteSaveDataBody);
void QM_HOST_REGISTER delphicore_PaletteSaveDataBody(void*, TIniFile* ini) { ++ini->Writes; }

} // extern "C"
