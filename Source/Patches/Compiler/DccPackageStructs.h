// The compiler's loaded packages as the package lookup reads them: package
// records on one list and the nodes of the units each contains. Only read in
// place, never allocated by us.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Quillmend {

namespace DccPackageLayout {
constexpr uint32_t Next = 0x00;   // pointer: next package on the compiler's list
constexpr uint32_t Units = 0x0C;  // pointer: first contained-unit node
constexpr uint32_t Flags = 0x10;  // 32 bits; bit 2: being unloaded
constexpr uint32_t Name = 0x22A;  // inline zero-terminated name
}  // namespace DccPackageLayout

namespace DccPackageUnitLayout {
constexpr uint32_t Next = 0x00;
constexpr uint32_t Flags = 0x3C;  // 32 bits; 0x20: may be contained in other packages too
constexpr uint32_t Name = 0x45;   // inline zero-terminated name
}  // namespace DccPackageUnitLayout

constexpr uint32_t DccPackageUnloading = 0x04;
constexpr uint32_t DccPackageUnitWeak = 0x20;

struct TDccPackageUnit {
  TDccPackageUnit* Next;
  uint8_t Reserved04[0x38];
  uint32_t Flags;
  uint8_t Reserved40[0x05];
  char Name[1];
};

struct TDccPackage {
  TDccPackage* Next;
  uint8_t Reserved04[0x08];
  TDccPackageUnit* Units;
  uint32_t Flags;
  uint8_t Reserved14[0x216];
  char Name[1];
};

static_assert(offsetof(TDccPackageUnit, Flags) == DccPackageUnitLayout::Flags &&
              offsetof(TDccPackageUnit, Name) == DccPackageUnitLayout::Name, "package unit layout");
static_assert(offsetof(TDccPackage, Units) == DccPackageLayout::Units &&
              offsetof(TDccPackage, Flags) == DccPackageLayout::Flags &&
              offsetof(TDccPackage, Name) == DccPackageLayout::Name, "package record layout");

} // namespace Quillmend
