#include "Check/ModuleImage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace Quillmend {

namespace {

constexpr uint64_t LargestModuleFile = 512ull << 20;
constexpr uint32_t LargestImage = 1u << 30;
constexpr uint16_t MaxSections = 96;
constexpr uint32_t PageSize = 0x1000;
constexpr uint32_t VersionSignature = 0xFEEF04BD;

std::wstring Format(const wchar_t* format, unsigned a, unsigned b = 0) {
  wchar_t text[160];
  std::swprintf(text, 160, format, a, b);
  return text;
}

std::wstring SectionName(const IMAGE_SECTION_HEADER& section) {
  std::wstring name;
  for (size_t i = 0; i < IMAGE_SIZEOF_SHORT_NAME && section.Name[i]; ++i) name += wchar_t(section.Name[i]);
  return name.empty() ? L"(unnamed)" : name;
}

std::wstring SystemMessage(DWORD error) {
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = text ? text : L"";
  LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.'))
    message.pop_back();
  return message.empty() ? Format(L"error %u", error) : message;
}

uint32_t AlignUp(uint32_t value, uint32_t alignment) { return (value + alignment - 1) & ~(alignment - 1); }

// The section's bytes in memory: VirtualSize, or the raw size where a linker left it 0.
uint32_t MemorySize(const IMAGE_SECTION_HEADER& section) {
  return section.Misc.VirtualSize ? section.Misc.VirtualSize : section.SizeOfRawData;
}

DWORD SectionProtection(DWORD characteristics) {
  const bool execute = characteristics & IMAGE_SCN_MEM_EXECUTE;
  const bool write = characteristics & IMAGE_SCN_MEM_WRITE;
  if (execute) return write ? PAGE_EXECUTE_READWRITE : PAGE_EXECUTE_READ;
  return write ? PAGE_READWRITE : PAGE_READONLY;
}

bool ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& bytes, std::wstring& problem) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    problem = L"cannot be read (" + SystemMessage(GetLastError()) + L")";
    return false;
  }
  LARGE_INTEGER size = {};
  bool ok = GetFileSizeEx(file, &size) != FALSE;
  if (ok && uint64_t(size.QuadPart) > LargestModuleFile) {
    problem = L"is too large for a module of the IDE";
    ok = false;
  } else if (ok) {
    bytes.resize(size_t(size.QuadPart));
    DWORD read = 0;
    ok = bytes.empty() || (ReadFile(file, bytes.data(), DWORD(bytes.size()), &read, nullptr) && read == bytes.size());
    if (!ok) problem = L"cannot be read (" + SystemMessage(GetLastError()) + L")";
  } else {
    problem = L"cannot be read (" + SystemMessage(GetLastError()) + L")";
  }
  CloseHandle(file);
  return ok;
}

} // namespace

TModuleImage::~TModuleImage() {
  if (FBase) VirtualFree(FBase, 0, MEM_RELEASE);
}

bool TModuleImage::Fail(std::wstring problem) {
  if (FProblem.empty()) FProblem = std::move(problem);
  if (FBase) VirtualFree(FBase, 0, MEM_RELEASE);
  FBase = nullptr;
  FSize = 0;
  return false;
}

bool TModuleImage::Open(const std::wstring& path) {
  std::vector<uint8_t> file;
  if (!ReadWholeFile(path, file, FProblem)) return false;
  FFileSize = file.size();
  if (!Layout(file)) return false;
  ReadVersion();
  return true;
}

// Checks the headers against the file and lays the image out in memory.
bool TModuleImage::Layout(const std::vector<uint8_t>& file) {
  const size_t fileSize = file.size();
  if (fileSize == 0) return Fail(L"not a PE image (the file is empty)");
  IMAGE_DOS_HEADER dos = {};
  if (fileSize < sizeof dos) return Fail(L"not a PE image (no MZ header)");
  std::memcpy(&dos, file.data(), sizeof dos);
  if (dos.e_magic != IMAGE_DOS_SIGNATURE) return Fail(L"not a PE image (no MZ header)");
  const uint32_t ntOffset = uint32_t(dos.e_lfanew);
  if (ntOffset > fileSize || fileSize - ntOffset < sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER))
    return Fail(L"truncated (the file ends before its PE header)");
  if (std::memcmp(file.data() + ntOffset, "PE\0\0", 4) != 0) return Fail(L"not a PE image (no PE signature)");

  IMAGE_FILE_HEADER fileHeader;
  std::memcpy(&fileHeader, file.data() + ntOffset + 4, sizeof fileHeader);
  const size_t optionalOffset = ntOffset + 4 + sizeof fileHeader;
  uint16_t magic = 0;
  if (fileSize - optionalOffset >= 2) std::memcpy(&magic, file.data() + optionalOffset, 2);
  if (fileHeader.Machine == IMAGE_FILE_MACHINE_AMD64 || fileHeader.Machine == 0xAA64 ||
      magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC)
    return Fail(L"a 64-bit image (the IDE's modules are 32-bit x86)");
  if (fileHeader.Machine != IMAGE_FILE_MACHINE_I386)
    return Fail(Format(L"built for another processor (machine 0x%04X; the IDE's modules are 32-bit x86)",
                       fileHeader.Machine));
  // The fixed part of the optional header, up to the data directories.
  constexpr size_t FixedOptional = offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory);
  if (fileHeader.SizeOfOptionalHeader < FixedOptional || magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC)
    return Fail(L"damaged headers (no 32-bit optional header)");
  if (fileSize - optionalOffset < fileHeader.SizeOfOptionalHeader)
    return Fail(L"truncated (the file ends inside its headers)");
  IMAGE_NT_HEADERS32 headers = {};
  std::memcpy(&headers, file.data() + ntOffset,
              std::min<size_t>(sizeof headers, 4 + sizeof fileHeader + fileHeader.SizeOfOptionalHeader));
  const IMAGE_OPTIONAL_HEADER32& optional = headers.OptionalHeader;

  const size_t sectionOffset = optionalOffset + fileHeader.SizeOfOptionalHeader;
  const uint16_t sectionCount = fileHeader.NumberOfSections;
  if (sectionCount > MaxSections) return Fail(Format(L"damaged headers (%u sections)", sectionCount));
  if (fileSize - sectionOffset < size_t(sectionCount) * sizeof(IMAGE_SECTION_HEADER))
    return Fail(L"truncated (the file ends inside its section table)");
  const auto* sections = reinterpret_cast<const IMAGE_SECTION_HEADER*>(file.data() + sectionOffset);

  const uint32_t imageSize = optional.SizeOfImage;
  if (imageSize == 0 || imageSize > LargestImage) return Fail(Format(L"damaged headers (image size 0x%X)", imageSize));
  // Everything up to the end of the section table is laid out as headers.
  const uint32_t headerSize = std::max<uint32_t>(
      optional.SizeOfHeaders, uint32_t(sectionOffset + sectionCount * sizeof(IMAGE_SECTION_HEADER)));
  if (headerSize > imageSize) return Fail(L"damaged headers (headers larger than the image)");
  if (headerSize > fileSize) return Fail(L"truncated (the file ends inside its headers)");
  FCodeSize = 0;
  for (uint16_t i = 0; i < sectionCount; ++i) {
    const IMAGE_SECTION_HEADER& s = sections[i];
    const uint32_t memorySize = MemorySize(s);
    if (s.VirtualAddress > imageSize || memorySize > imageSize - s.VirtualAddress)
      return Fail(L"damaged headers (section " + SectionName(s) + L" lies outside the image)");
    if (memorySize && s.VirtualAddress < headerSize)
      return Fail(L"damaged headers (section " + SectionName(s) + L" overlaps the headers)");
    const uint32_t copied = std::min<uint32_t>(s.SizeOfRawData, memorySize);
    if (copied && (s.PointerToRawData > fileSize || copied > fileSize - s.PointerToRawData))
      return Fail(L"truncated (section " + SectionName(s) +
                  Format(L" needs the file's bytes up to 0x%X, the file has 0x%X)", s.PointerToRawData + copied,
                         unsigned(fileSize)));
    if (s.Characteristics & IMAGE_SCN_MEM_EXECUTE) FCodeSize += memorySize;
  }

  // At the preferred base when that is free, as the loader would; else anywhere, relocated.
  void* preferred = reinterpret_cast<void*>(uintptr_t(optional.ImageBase));
  FBase = static_cast<uint8_t*>(VirtualAlloc(preferred, imageSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (!FBase) FBase = static_cast<uint8_t*>(VirtualAlloc(nullptr, imageSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (!FBase) return Fail(Format(L"cannot be mapped (no room for 0x%X bytes)", imageSize));
  FSize = imageSize;
  std::memcpy(FBase, file.data(), headerSize);
  for (uint16_t i = 0; i < sectionCount; ++i) {
    const IMAGE_SECTION_HEADER& s = sections[i];
    const uint32_t copied = std::min<uint32_t>(s.SizeOfRawData, MemorySize(s));
    if (copied) std::memcpy(FBase + s.VirtualAddress, file.data() + s.PointerToRawData, copied);
  }
  return Relocate(headers, optional.ImageBase);
}

bool TModuleImage::Relocate(const IMAGE_NT_HEADERS32& headers, uint32_t preferredBase) {
  const uint32_t delta = uint32_t(reinterpret_cast<uintptr_t>(FBase)) - preferredBase;
  if (delta == 0) return true;
  const IMAGE_DATA_DIRECTORY* relocations = Directory(IMAGE_DIRECTORY_ENTRY_BASERELOC);
  if ((headers.FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED) || !relocations ||
      relocations->Size == 0)
    return Fail(Format(L"cannot be placed at its base 0x%08X and has no relocations", preferredBase));
  if (!Inside(relocations->VirtualAddress, relocations->Size)) return Fail(L"damaged relocations");
  uint32_t offset = 0;
  while (relocations->Size - offset >= sizeof(IMAGE_BASE_RELOCATION)) {
    IMAGE_BASE_RELOCATION block;
    std::memcpy(&block, FBase + relocations->VirtualAddress + offset, sizeof block);
    if (block.SizeOfBlock < sizeof block || block.SizeOfBlock > relocations->Size - offset)
      return Fail(L"damaged relocations");
    const uint32_t count = (block.SizeOfBlock - sizeof block) / sizeof(uint16_t);
    const auto* entries = FBase + relocations->VirtualAddress + offset + sizeof block;
    for (uint32_t i = 0; i < count; ++i) {
      uint16_t entry;
      std::memcpy(&entry, entries + 2 * i, 2);
      const unsigned type = entry >> 12;
      const uint32_t rva = block.VirtualAddress + (entry & 0xFFF);
      if (type == IMAGE_REL_BASED_ABSOLUTE) continue;
      if (type != IMAGE_REL_BASED_HIGHLOW) return Fail(Format(L"unsupported relocation type %u", type));
      if (!Inside(rva, 4)) return Fail(L"damaged relocations");
      uint32_t value;
      std::memcpy(&value, FBase + rva, 4);
      value += delta;
      std::memcpy(FBase + rva, &value, 4);
    }
    offset += block.SizeOfBlock;
  }
  return true;
}

bool TModuleImage::Protect() {
  if (!FBase) return false;
  const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS32*>(FBase + reinterpret_cast<IMAGE_DOS_HEADER*>(FBase)->e_lfanew);
  const uint32_t alignment = headers->OptionalHeader.SectionAlignment;
  DWORD old;
  // An image whose sections are not page-aligned is one writable, executable mapping to the loader.
  if (alignment < PageSize) return VirtualProtect(FBase, FSize, PAGE_EXECUTE_READWRITE, &old) != FALSE;
  const auto* sections = IMAGE_FIRST_SECTION(headers);
  const uint32_t firstSection = headers->FileHeader.NumberOfSections ? sections[0].VirtualAddress : uint32_t(FSize);
  bool ok = VirtualProtect(FBase, std::max<uint32_t>(PageSize, firstSection), PAGE_READONLY, &old) != FALSE;
  for (uint16_t i = 0; i < headers->FileHeader.NumberOfSections; ++i) {
    const IMAGE_SECTION_HEADER& s = sections[i];
    const uint32_t size = std::min<uint32_t>(AlignUp(MemorySize(s), PageSize), uint32_t(FSize) - s.VirtualAddress);
    if (size) ok = VirtualProtect(FBase + s.VirtualAddress, size, SectionProtection(s.Characteristics), &old) && ok;
  }
  return ok;
}

const IMAGE_DATA_DIRECTORY* TModuleImage::Directory(int index) const {
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(FBase);
  const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS32*>(FBase + dos->e_lfanew);
  const uint16_t optionalSize = headers->FileHeader.SizeOfOptionalHeader;
  const size_t end = offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory) + (index + 1) * sizeof(IMAGE_DATA_DIRECTORY);
  if (uint32_t(index) >= headers->OptionalHeader.NumberOfRvaAndSizes || end > optionalSize) return nullptr;
  const IMAGE_DATA_DIRECTORY* directory = &headers->OptionalHeader.DataDirectory[index];
  return directory->VirtualAddress && directory->Size ? directory : nullptr;
}

bool TModuleImage::Inside(uint32_t rva, uint32_t size) const { return rva <= FSize && size <= FSize - rva; }

const char* TModuleImage::TextAt(uint32_t rva) const {
  if (rva == 0 || rva >= FSize) return nullptr;
  const auto* text = reinterpret_cast<const char*>(FBase + rva);
  return std::memchr(text, 0, FSize - rva) ? text : nullptr;
}

std::vector<TImageImport> TModuleImage::Imports() const {
  std::vector<TImageImport> imports;
  const IMAGE_DATA_DIRECTORY* directory = FBase ? Directory(IMAGE_DIRECTORY_ENTRY_IMPORT) : nullptr;
  if (!directory) return imports;
  for (uint32_t rva = directory->VirtualAddress; Inside(rva, sizeof(IMAGE_IMPORT_DESCRIPTOR));
       rva += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    IMAGE_IMPORT_DESCRIPTOR descriptor;
    std::memcpy(&descriptor, FBase + rva, sizeof descriptor);
    if (descriptor.Name == 0 && descriptor.FirstThunk == 0) break;
    const char* module = TextAt(descriptor.Name);
    if (!module) continue;
    TImageImport import;
    import.Module = module;
    const uint32_t lookup = descriptor.OriginalFirstThunk ? descriptor.OriginalFirstThunk : descriptor.FirstThunk;
    for (uint32_t i = 0;; ++i) {
      if (!Inside(lookup + 4 * i, 4) || !Inside(descriptor.FirstThunk + 4 * i, 4)) break;
      uint32_t entry;
      std::memcpy(&entry, FBase + lookup + 4 * i, 4);
      if (entry == 0) break;
      TImageImportSlot slot;
      slot.Slot = reinterpret_cast<void**>(FBase + descriptor.FirstThunk + 4 * i);
      if (entry & IMAGE_ORDINAL_FLAG32) {
        slot.Ordinal = uint16_t(entry & 0xFFFF);
      } else if (const char* name = TextAt(entry + 2)) {
        slot.Name = name;
      } else {
        continue;
      }
      import.Slots.push_back(std::move(slot));
    }
    imports.push_back(std::move(import));
  }
  return imports;
}

TImageExport TModuleImage::ExportAt(uint32_t index) const {
  TImageExport result;
  const IMAGE_DATA_DIRECTORY* directory = Directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
  IMAGE_EXPORT_DIRECTORY exports;
  std::memcpy(&exports, FBase + directory->VirtualAddress, sizeof exports);
  if (index >= exports.NumberOfFunctions || !Inside(exports.AddressOfFunctions + 4 * index, 4)) return result;
  uint32_t rva;
  std::memcpy(&rva, FBase + exports.AddressOfFunctions + 4 * index, 4);
  if (rva == 0 || !Inside(rva, 1)) return result;
  if (rva >= directory->VirtualAddress && rva - directory->VirtualAddress < directory->Size) {
    if (const char* forwarder = TextAt(rva)) result.Forwarder = forwarder;
    return result;
  }
  result.Address = FBase + rva;
  return result;
}

TImageExport TModuleImage::ExportByOrdinal(uint16_t ordinal) const {
  const IMAGE_DATA_DIRECTORY* directory = FBase ? Directory(IMAGE_DIRECTORY_ENTRY_EXPORT) : nullptr;
  if (!directory || !Inside(directory->VirtualAddress, sizeof(IMAGE_EXPORT_DIRECTORY))) return {};
  IMAGE_EXPORT_DIRECTORY exports;
  std::memcpy(&exports, FBase + directory->VirtualAddress, sizeof exports);
  if (ordinal < exports.Base) return {};
  return ExportAt(ordinal - exports.Base);
}

TImageExport TModuleImage::ExportByName(const char* name) const {
  const IMAGE_DATA_DIRECTORY* directory = FBase ? Directory(IMAGE_DIRECTORY_ENTRY_EXPORT) : nullptr;
  if (!directory || !Inside(directory->VirtualAddress, sizeof(IMAGE_EXPORT_DIRECTORY))) return {};
  if (!FExportNames) {
    FExportNames = std::make_unique<std::unordered_map<std::string, uint32_t>>();
    IMAGE_EXPORT_DIRECTORY exports;
    std::memcpy(&exports, FBase + directory->VirtualAddress, sizeof exports);
    for (uint32_t i = 0; i < exports.NumberOfNames; ++i) {
      if (!Inside(exports.AddressOfNames + 4 * i, 4) || !Inside(exports.AddressOfNameOrdinals + 2 * i, 2)) break;
      uint32_t nameRva;
      uint16_t index;
      std::memcpy(&nameRva, FBase + exports.AddressOfNames + 4 * i, 4);
      std::memcpy(&index, FBase + exports.AddressOfNameOrdinals + 2 * i, 2);
      if (const char* text = TextAt(nameRva)) FExportNames->emplace(text, index);
    }
  }
  auto found = FExportNames->find(name);
  return found == FExportNames->end() ? TImageExport{} : ExportAt(found->second);
}

// The file version from the fixed part of the version resource (type 16,
// first name, first language).
void TModuleImage::ReadVersion() {
  const IMAGE_DATA_DIRECTORY* directory = Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE);
  if (!directory || !Inside(directory->VirtualAddress, directory->Size)) return;
  const uint32_t root = directory->VirtualAddress;
  // The entry of a resource directory at `offset` (from the root) with the
  // given id (or the first entry when id < 0); its data offset, 0 if none.
  auto entry = [&](uint32_t offset, int id, bool wantDirectory) -> uint32_t {
    IMAGE_RESOURCE_DIRECTORY dir;
    if (!Inside(root + offset, sizeof dir)) return 0;
    std::memcpy(&dir, FBase + root + offset, sizeof dir);
    const uint32_t count = uint32_t(dir.NumberOfNamedEntries) + dir.NumberOfIdEntries;
    for (uint32_t i = 0; i < count; ++i) {
      IMAGE_RESOURCE_DIRECTORY_ENTRY e;
      const uint32_t at = root + offset + sizeof dir + i * sizeof e;
      if (!Inside(at, sizeof e)) return 0;
      std::memcpy(&e, FBase + at, sizeof e);
      if (id >= 0 && (e.Name & 0x80000000u || e.Name != uint32_t(id))) continue;
      const bool isDirectory = e.OffsetToData & 0x80000000u;
      if (isDirectory != wantDirectory) return 0;
      return e.OffsetToData & 0x7FFFFFFFu;
    }
    return 0;
  };
  const uint32_t names = entry(0, 16, true);
  const uint32_t languages = names ? entry(names, -1, true) : 0;
  const uint32_t dataEntry = languages ? entry(languages, -1, false) : 0;
  IMAGE_RESOURCE_DATA_ENTRY data;
  if (!dataEntry || !Inside(root + dataEntry, sizeof data)) return;
  std::memcpy(&data, FBase + root + dataEntry, sizeof data);
  if (!Inside(data.OffsetToData, data.Size)) return;
  // VS_VERSIONINFO: a header and the key "VS_VERSION_INFO", then the fixed
  // information, 4-byte aligned; its signature marks where it starts.
  for (uint32_t at = 0; at + sizeof(VS_FIXEDFILEINFO) <= data.Size && at < 64; at += 4) {
    VS_FIXEDFILEINFO info;
    std::memcpy(&info, FBase + data.OffsetToData + at, sizeof info);
    if (info.dwSignature != VersionSignature) continue;
    wchar_t text[48];
    std::swprintf(text, 48, L"%u.%u.%u.%u", unsigned(HIWORD(info.dwFileVersionMS)),
                  unsigned(LOWORD(info.dwFileVersionMS)), unsigned(HIWORD(info.dwFileVersionLS)),
                  unsigned(LOWORD(info.dwFileVersionLS)));
    FVersion = text;
    return;
  }
}

} // namespace Quillmend
