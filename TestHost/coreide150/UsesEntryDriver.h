// The stand-in project's uses entries (coreide150.bpl, unit Usesentry):
// TUsesEntry objects of 92 bytes, [4] file name, [0x40] unit name (host
// strings), owned by whoever made them (a uses list does not free them).
#pragma once

#include <windows.h>

#include <cstdint>

namespace UsesEntryDriver {

namespace Export {
constexpr const char* Class = "@Usesentry@TUsesEntry@";
constexpr const char* New = "UsesEntryNew";  // driver (stdcall)
}  // namespace Export

constexpr int InstanceSize = 92;
constexpr int FileName = 4;
constexpr int UnitName = 0x40;

// A new entry with copies of the texts; freed through TObject.Free.
using NewFn = void*(__stdcall*)(const wchar_t* unitName, const wchar_t* fileName);

inline const wchar_t* UnitNameOf(const void* entry) {
  return *reinterpret_cast<const wchar_t* const*>(static_cast<const char*>(entry) + UnitName);
}
inline const wchar_t* FileNameOf(const void* entry) {
  return *reinterpret_cast<const wchar_t* const*>(static_cast<const char*>(entry) + FileName);
}

}  // namespace UsesEntryDriver
