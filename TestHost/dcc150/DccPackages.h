// The stand-in compiler's loaded packages: package records on one list, each
// with the chain of units it contains, laid out at the offsets the real
// compiler uses, and the routines (DccPackages.S, DccPackages.cpp) that keep
// them. A package is loaded by name from the package catalog (what a package
// file would say it contains), which the driver fills.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Common/HostLayout.h"

namespace Dcc {

// A unit a package contains.
struct TPackageUnit {
  TPackageUnit* Next;    // 0x00
  uint8_t Pad04[0x38];
  uint32_t Flags;        // 0x3C: 0x20 a weakly packaged unit (may be in several packages)
  uint8_t Pad40[0x05];
  char Name[3];          // 0x45: zero-terminated, allocated to length
};
static_assert(offsetof(TPackageUnit, Flags) == 0x3C && offsetof(TPackageUnit, Name) == 0x45,
              "package unit layout");

struct TPackage {
  TPackage* Next;        // 0x00
  uint32_t Serial;       // 0x04: catalog number, for checksums
  uint32_t UnitCount;    // 0x08
  TPackageUnit* Units;   // 0x0C
  uint32_t Flags;        // 0x10: 0x02 loading, 0x04 unloading
  uint8_t Pad14[0x216];
  char Name[0x100];      // 0x22A
};
static_assert(offsetof(TPackage, Units) == 0x0C && offsetof(TPackage, Flags) == 0x10 &&
              offsetof(TPackage, Name) == 0x22A, "package record layout");

enum : uint32_t { pfLoading = 0x02, pfUnloading = 0x04, puWeak = 0x20 };

} // namespace Dcc

extern "C" {
// Host variables (DccPackages.S).
extern Dcc::TPackage* DccPackageListHead asm("_DccPackageListHead");
extern uint32_t DccPackageCount asm("_DccPackageCount");
extern uint32_t DccPackageListStamp asm("_DccPackageListStamp");
extern uint32_t DccUnitProbeStamp asm("_DccUnitProbeStamp");
extern Dcc::TPackage* DccLastProbeMiss asm("_DccLastProbeMiss");
extern uint8_t DccSysInitHash asm("_DccSysInitHash");

// The package routines (DccPackages.S), host register convention.
Dcc::TPackage* QM_HOST_REGISTER DccFindPackage(const char* name) asm("_DccFindPackage");
void QM_HOST_REGISTER DccRemovePackage(Dcc::TPackage* package, int keepRecord) asm("_DccRemovePackage");
void QM_HOST_REGISTER DccReleasePackages() asm("_DccReleasePackages");
Dcc::TPackage* QM_HOST_REGISTER DccFindOrLoadPackage(const char* name) asm("_DccFindOrLoadPackage");
Dcc::TPackage* QM_HOST_REGISTER DccPackageOfUnit(const char* unitName) asm("_DccPackageOfUnit");
int QM_HOST_REGISTER DccCheckPackageUnits(Dcc::TPackage* package) asm("_DccCheckPackageUnits");

// What they call (DccPackages.cpp).
Dcc::TPackage* QM_HOST_REGISTER HostLoadPackage(const char* name) asm("HostLoadPackage");
void QM_HOST_REGISTER HostFreePackage(Dcc::TPackage* package) asm("HostFreePackage");
Dcc::TPackage* QM_HOST_REGISTER HostProbeHeadPackage(const char* unitName, Dcc::TPackage* head)
    asm("HostProbeHeadPackage");
Dcc::TPackage* QM_HOST_REGISTER HostUnitPackageWalk(const char* unitName) asm("HostUnitPackageWalk");
void __cdecl HostPackageAssert(const char* text, const char* file, int line) asm("HostPackageAssert");
void __cdecl HostPackageError(int number, const char* package, const char* other, const char* unit)
    asm("HostPackageError");
}
