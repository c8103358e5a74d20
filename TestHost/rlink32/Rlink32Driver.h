// The stand-in resource linker rlink32.dll, driver interface, declared once
// for bds.exe's rlink workload, the tests and the benchmark.
#pragma once

#include <cstdint>

#include "Common/HostLayout.h"

namespace Rlink32Driver {

namespace Export {
constexpr const char* LinkFile = "RlinkLinkFile";
constexpr const char* Entries = "RlinkEntries";
constexpr const char* MaxEntries = "RlMaxEntries";  // DATA: the table's entries as the link read them
constexpr const char* Alloc = "RlAllocTable";      // A (eax = &size)
} // namespace Export

// The linker's errors.
constexpr int32_t ErrorNoMemory = 7566;       // no table could be allocated
constexpr int32_t ErrorTooManyResources = 7567;  // the resources do not fit the table
constexpr int32_t ErrorBadFile = 7568;        // not a .res file

// One linked resource, 18 bytes.
#pragma pack(push, 1)
struct TEntry {
  uint16_t Type;      // the type's id (0 for a named type)
  uint16_t Name;      // the name's id (0 for a named resource)
  uint16_t Language;
  uint16_t Flags;     // the memory flags
  uint32_t Offset;    // of its data in the file
  uint32_t Size;
  uint16_t Sum;       // of its data's bytes
};
#pragma pack(pop)
static_assert(sizeof(TEntry) == 18, "entry");

// Links the resources of a .res file (UTF-16 path): 0, or the linker's error.
using LinkFileFn = int32_t(__stdcall*)(const wchar_t* path);
// The last successful link's table and its count.
using EntriesFn = const TEntry*(__stdcall*)(int32_t* count);
using AllocFn = void*(QM_HOST_REGISTER*)(uint32_t* size);

} // namespace Rlink32Driver
