// The package-information resource that the stand-in IDE requires of every
// IDE package: RCDATA named "PACKAGEINFO", little-endian, exactly
//
//   uint32  Flags          (reserved; written as 0, recorded, not interpreted)
//   uint32  RequiresCount
//   RequiresCount x name   (required package, zero-terminated 8-bit text)
//   uint32  ContainsCount
//   ContainsCount x name   (contained unit, zero-terminated 8-bit text)
//
// and nothing after the last name. A name is 1..255 bytes. Unit names are
// compared without regard to ASCII case. PackageInfo.cmake generates the
// resource script for a module.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace QmHost {

struct PackageInfo {
  std::uint32_t flags = 0;
  std::vector<std::string> requiredPackages;
  std::vector<std::string> units;
};

// Parses the resource bytes; on failure returns false and says why.
bool ParsePackageInfo(const void* data, size_t size, PackageInfo& info, std::wstring& error);

// Finds and parses the resource of a loaded module.
bool ReadPackageInfo(HMODULE module, PackageInfo& info, std::wstring& error);

// Serialises info in the layout above (for tests and generators).
std::vector<unsigned char> BuildPackageInfo(const PackageInfo& info);

bool SameUnitName(const std::string& a, const std::string& b);

} // namespace QmHost
