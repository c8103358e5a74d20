// TDesignPackage.Create starts as the host's compiler starts a method
// (Common/HostEntry.inc), so a redirection of its entry meets the host's
// bytes. The body is C++ (DesignPackages.cpp).
#include "Common/HostEntry.inc"

        .text
        HOST_ENTRY _coreide_DesignPackageCreate, _coreide_DesignPackageCreateBody
