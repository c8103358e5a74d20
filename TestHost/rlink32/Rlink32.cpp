// Around the resource linker's table (Rlink32Code.S): the .res file read
// and parsed, the table filled entry by entry up to the entries the link
// routine read, the linker's errors, and what the driver reads.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "Rlink32Driver.h"

using namespace Rlink32Driver;

namespace {

struct TResources {
  std::vector<TEntry> Entries;
};

std::vector<TEntry> g_linked;
int32_t g_lastError = 0;

uint16_t IdOrName(const uint8_t*& p, const uint8_t* end) {
  if (end - p >= 4 && p[0] == 0xFF && p[1] == 0xFF) {
    const uint16_t id = uint16_t(p[2] | p[3] << 8);
    p += 4;
    return id;
  }
  while (end - p >= 2 && (p[0] | p[1])) p += 2;  // a name: UTF-16 up to its zero
  p += 2;
  return 0;
}

// Every resource of a .res file; false when it is none.
bool Parse(const std::vector<uint8_t>& file, TResources& resources) {
  size_t at = 0;
  while (at + 8 <= file.size()) {
    uint32_t dataSize, headerSize;
    std::memcpy(&dataSize, &file[at], 4);
    std::memcpy(&headerSize, &file[at + 4], 4);
    if (headerSize < 16 || at + headerSize + dataSize > file.size()) return false;
    const uint8_t* p = &file[at + 8];
    const uint8_t* end = &file[at] + headerSize;
    TEntry entry = {};
    entry.Type = IdOrName(p, end);
    entry.Name = IdOrName(p, end);
    p = &file[0] + ((size_t(p - &file[0]) + 3) & ~size_t(3));
    if (end - p < 16) return false;
    std::memcpy(&entry.Flags, p + 4, 2);
    std::memcpy(&entry.Language, p + 6, 2);
    entry.Offset = uint32_t(at + headerSize);
    entry.Size = dataSize;
    for (uint32_t i = 0; i < dataSize; ++i) entry.Sum = uint16_t(entry.Sum + file[entry.Offset + i]);
    // The file's first header is empty: no resource.
    if (at != 0 || dataSize != 0) resources.Entries.push_back(entry);
    at = (at + headerSize + dataSize + 3) & ~size_t(3);
  }
  return at >= file.size();
}

}  // namespace

extern "C" {

extern uint32_t RlMaxEntries QM_HOST_SYMBOL(RlMaxEntries);
int32_t QM_HOST_REGISTER RlLinkResources(const TResources* resources) QM_HOST_SYMBOL(RlLinkResources);
void* QM_HOST_REGISTER RlAllocTable(uint32_t* size) QM_HOST_SYMBOL(RlAllocTable);

void* __cdecl RlMalloc(uint32_t size) QM_HOST_SYMBOL(RlMalloc);
void* __cdecl RlMalloc(uint32_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }

void QM_HOST_REGISTER RlError(int32_t error) QM_HOST_SYMBOL(RlError);
void QM_HOST_REGISTER RlError(int32_t error) { g_lastError = error; }

// The table holds as many entries as the link routine read (16 bits).
int32_t QM_HOST_REGISTER RlFillTable(const TResources* resources, TEntry* table) QM_HOST_SYMBOL(RlFillTable);
int32_t QM_HOST_REGISTER RlFillTable(const TResources* resources, TEntry* table) {
  const uint32_t room = RlMaxEntries & 0xFFFF;
  int32_t result = 0;
  if (resources->Entries.size() > room) {
    RlError(ErrorTooManyResources);
    result = ErrorTooManyResources;
  } else {
    for (size_t i = 0; i < resources->Entries.size(); ++i) table[i] = resources->Entries[i];
    g_linked.assign(table, table + resources->Entries.size());
  }
  HeapFree(GetProcessHeap(), 0, table);
  return result;
}

int32_t __stdcall RlinkLinkFile(const wchar_t* path) {
  g_linked.clear();
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ErrorBadFile;
  std::vector<uint8_t> bytes(GetFileSize(file, nullptr));
  DWORD read = 0;
  const BOOL ok = bytes.empty() || ReadFile(file, bytes.data(), DWORD(bytes.size()), &read, nullptr);
  CloseHandle(file);
  TResources resources;
  if (!ok || read != bytes.size() || !Parse(bytes, resources)) return ErrorBadFile;
  return RlLinkResources(&resources);
}

const TEntry* __stdcall RlinkEntries(int32_t* count) {
  *count = int32_t(g_linked.size());
  return g_linked.data();
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&RlinkLinkFile), LinkFileFn>, "LinkFile");
static_assert(std::is_same_v<decltype(&RlinkEntries), EntriesFn>, "Entries");
static_assert(std::is_same_v<decltype(&RlAllocTable), AllocFn>, "Alloc");
