// The package and palette caches' routines start as the host's compiler
// starts a routine (Common/HostEntry.inc), then run their C++ bodies.
#include "Common/HostEntry.inc"

        .text
        .balign 16
        HOST_ENTRY _delphicore_LoadPackageCache, _delphicore_LoadPackageCacheBody
        .balign 16
        HOST_ENTRY _delphicore_SavePackageCache, _delphicore_SavePackageCacheBody
        .balign 16
        HOST_ENTRY _delphicore_PaletteLoadData, _delphicore_PaletteLoadDataBody
        .balign 16
        HOST_ENTRY _delphicore_PaletteSaveData, _delphicore_PaletteSaveDataBody
