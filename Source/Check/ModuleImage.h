// One IDE module opened as an image without running any of it.
//
// The check maps the file itself instead of asking the system loader with
// LoadLibraryExW(DONT_RESOLVE_DLL_REFERENCES): that call still enters the
// module into the process's module list, where any later load of the same
// name (by anyone in the process) would get the unresolved module; Wine
// answers some names with its own built-in modules instead of the file; and
// a damaged file gets the loader's bare error code. Here the file is read,
// every header field is checked against the file's and the image's size,
// the sections are laid out at their addresses, relocations are applied,
// and the pages get the protections the loader would give them. No entry
// point, no TLS callback and no import is ever run; imports are bound by
// the module set (IdeModules.h) to other images or system modules.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>
#include <windows.h>

namespace Quillmend {

// One import address table entry to fill: by name or by ordinal.
struct TImageImportSlot {
  void** Slot;
  std::string Name;      // empty: by ordinal
  uint16_t Ordinal = 0;
};

struct TImageImport {
  std::string Module;  // as written in the image
  std::vector<TImageImportSlot> Slots;
};

// An export: its address, or the "module.name" text of a forwarder.
struct TImageExport {
  void* Address = nullptr;
  std::string Forwarder;
  bool Found() const { return Address || !Forwarder.empty(); }
};

class TModuleImage {
public:
  TModuleImage() = default;
  ~TModuleImage();
  TModuleImage(const TModuleImage&) = delete;
  TModuleImage& operator=(const TModuleImage&) = delete;

  // Reads and maps the file. False with Problem() saying why: not found,
  // unreadable, not a PE image, a 64-bit or foreign-processor image,
  // truncated, damaged headers or relocations.
  bool Open(const std::wstring& path);
  // Gives every section the protection the loader would (code executable
  // and readable, read-only data read-only); the headers become read-only.
  // Called once the imports are bound.
  bool Protect();

  uint8_t* Base() const { return FBase; }
  size_t Size() const { return FSize; }
  uint64_t FileSize() const { return FFileSize; }
  const std::wstring& Problem() const { return FProblem; }
  // "15.0.3953.35171" from the version resource; empty when there is none.
  const std::wstring& Version() const { return FVersion; }
  // Bytes of the executable sections (what a pattern search can cover).
  size_t CodeSize() const { return FCodeSize; }

  std::vector<TImageImport> Imports() const;
  TImageExport ExportByName(const char* name) const;
  TImageExport ExportByOrdinal(uint16_t ordinal) const;

private:
  bool Fail(std::wstring problem);
  bool Layout(const std::vector<uint8_t>& file);
  bool Relocate(const IMAGE_NT_HEADERS32& headers, uint32_t preferredBase);
  void ReadVersion();
  // A directory of the image's optional header, if inside the image.
  const IMAGE_DATA_DIRECTORY* Directory(int index) const;
  // rva .. rva + size lies inside the image.
  bool Inside(uint32_t rva, uint32_t size) const;
  // The zero-terminated 8-bit text at rva, or null when it runs out of the image.
  const char* TextAt(uint32_t rva) const;
  TImageExport ExportAt(uint32_t index) const;

  uint8_t* FBase = nullptr;
  size_t FSize = 0;
  uint64_t FFileSize = 0;
  size_t FCodeSize = 0;
  std::wstring FProblem;
  std::wstring FVersion;
  // Export names, built at the first lookup by name.
  mutable std::unique_ptr<std::unordered_map<std::string, uint32_t>> FExportNames;
};

} // namespace Quillmend
