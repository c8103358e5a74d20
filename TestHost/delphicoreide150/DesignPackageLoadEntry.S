// LoadDesignPackage starts as the host's compiler starts a routine
// (Common/HostEntry.inc); the body is C++ (DesignPackageLoad.cpp).
#include "Common/HostEntry.inc"

        .text
        HOST_ENTRY _delphicore_LoadDesignPackage, _delphicore_LoadDesignPackageBody
