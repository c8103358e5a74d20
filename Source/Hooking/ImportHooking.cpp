#include "Hooking/ImportHooking.h"

#include "Hooking/ExportStubs.h"
#include "Hooking/MemoryRegions.h"
#include "Hooking/Utf8Conversion.h"

#include <cstring>
#include <string>
#include <vector>

namespace Quillmend {

namespace {

constexpr size_t DosHeaderSize = 64;
constexpr size_t NtHeadersSize = 248;  // signature, file header, 32-bit optional header

// An import entry may hold anything, so the stub test reads only readable bytes.
bool IsReadablePushJumpStub(const void* p) { return p != nullptr && IsReadableMemory(p, 6) && IsPushJumpStub(p); }

// Stores one import address table entry. The entry's page may share a
// section with code, so an executable page stays executable while it is
// writable.
bool StoreImportEntry(void** entry, void* value) {
  MEMORY_BASIC_INFORMATION info;
  if (VirtualQuery(entry, &info, sizeof info) != sizeof info) return false;
  const DWORD writable = (info.Protect & 0xF0) != 0 ? PAGE_EXECUTE_READWRITE : PAGE_READWRITE;
  DWORD oldProtect;
  if (!VirtualProtectEx(GetCurrentProcess(), entry, sizeof *entry, writable, &oldProtect)) return false;
  *entry = value;
  VirtualProtectEx(GetCurrentProcess(), entry, sizeof *entry, oldProtect, &oldProtect);
  return true;
}

// Calls visit(entry) for each import address table entry of every
// descriptor of `base` that imports from `moduleName` (any case).
template <typename Visit>
void ForEachImportEntry(void* base, const std::wstring& moduleName, Visit visit) {
  PIMAGE_NT_HEADERS headers = GetImageNtHeaders(base);
  if (headers == nullptr) return;
  const DWORD importsRva = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  if (importsRva == 0) return;
  const std::string wanted = ToUtf8(moduleName);
  auto* image = static_cast<uint8_t*>(base);
  for (auto* descriptor = reinterpret_cast<PIMAGE_IMPORT_DESCRIPTOR>(image + importsRva); descriptor->Name != 0;
       ++descriptor) {
    if (descriptor->FirstThunk == 0) continue;
    if (_stricmp(reinterpret_cast<const char*>(image + descriptor->Name), wanted.c_str()) != 0) continue;
    for (auto** entry = reinterpret_cast<void**>(image + descriptor->FirstThunk); *entry != nullptr; ++entry)
      visit(entry);
  }
}

// Replaces each entry `matches` accepts.
template <typename Matches>
bool ReplaceImports(void* base, const std::wstring& moduleName, void* newProc, Matches matches) {
  bool replaced = false;
  ForEachImportEntry(base, moduleName, [&](void** entry) {
    if (matches(*entry) && StoreImportEntry(entry, newProc)) replaced = true;
  });
  return replaced;
}

}  // namespace

PIMAGE_NT_HEADERS GetImageNtHeaders(void* base) {
  if (!IsReadableMemory(base, DosHeaderSize)) return nullptr;
  const auto* dos = static_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew == 0) return nullptr;
  auto* headers = reinterpret_cast<PIMAGE_NT_HEADERS>(static_cast<uint8_t*>(base) + dos->e_lfanew);
  if (!IsReadableMemory(headers, NtHeadersSize) || headers->Signature != IMAGE_NT_SIGNATURE) return nullptr;
  return headers;
}

std::vector<void**> FindImportSlots(void* base, const std::wstring& moduleName, void* proc) {
  std::vector<void**> slots;
  if (proc == nullptr) return slots;
  ForEachImportEntry(base, moduleName, [&](void** entry) {
    if (*entry == proc) slots.push_back(entry);
  });
  return slots;
}

bool ReplaceDllImport(void* base, const std::wstring& moduleName, void* oldProc, void* newProc) {
  if (oldProc == nullptr) return false;
  return ReplaceImports(base, moduleName, newProc, [oldProc](void* entry) { return entry == oldProc; });
}

bool TJclPeMapImgHooks::ReplaceImportEntries(void* base, const std::wstring& moduleName, void* fromProc,
                                             void* toProc) {
  if (fromProc == nullptr) return false;
  if (!IsNtFamily() && IsReadablePushJumpStub(fromProc)) {
    void* const realProc = PushedAddress(fromProc);
    return ReplaceImports(base, moduleName, toProc, [realProc](void* entry) {
      return IsReadablePushJumpStub(entry) && PushedAddress(entry) == realProc;
    });
  }
  return ReplaceImports(base, moduleName, toProc, [fromProc](void* entry) { return entry == fromProc; });
}

} // namespace Quillmend
