#include "Check/IdeModules.h"

#include "Framework/PatchPlan.h"
#include "Hooking/Utf8Conversion.h"

namespace Quillmend {

namespace {

constexpr int MaxForwarding = 8;  // forwarder chains longer than this are broken

TIdeModules* g_planModules = nullptr;

HMODULE ResolveForPlans(const wchar_t* name) { return g_planModules ? g_planModules->Resolve(name) : nullptr; }

void* ExportForPlans(HMODULE module, const char* name) {
  return g_planModules ? g_planModules->Export(module, name) : nullptr;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_EQUAL;
}

bool IsPlainName(const std::wstring& name) {
  return !name.empty() && name.find_first_of(L"\\/:") == std::wstring::npos && name != L"." && name != L"..";
}

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring ModulePath(HMODULE module) {
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
  return std::wstring(path, n);
}

} // namespace

TIdeModules::TIdeModules(std::wstring binDirectory) : FBin(std::move(binDirectory)) {
  while (!FBin.empty() && (FBin.back() == L'\\' || FBin.back() == L'/')) FBin.pop_back();
}

TIdeModules::~TIdeModules() = default;

const TModuleEntry* TIdeModules::Find(const std::wstring& name) const {
  for (const auto& entry : FEntries)
    if (SameName(entry->Name, name)) return entry.get();
  return nullptr;
}

TModuleEntry* TIdeModules::ByHandle(HMODULE module) const {
  for (const auto& entry : FEntries)
    if (entry->Handle && entry->Handle == module) return entry.get();
  return nullptr;
}

std::vector<const TModuleEntry*> TIdeModules::IdeModules() const {
  std::vector<const TModuleEntry*> modules;
  for (const auto& entry : FEntries)
    if (entry->State != TModuleState::System) modules.push_back(entry.get());
  return modules;
}

HMODULE TIdeModules::Resolve(const std::wstring& name) {
  if (const TModuleEntry* entry = Find(name)) return entry->Handle;
  return Open(name).Handle;
}

TModuleEntry& TIdeModules::Open(const std::wstring& name) {
  FEntries.push_back(std::make_unique<TModuleEntry>());
  TModuleEntry& entry = *FEntries.back();
  entry.Name = name;
  if (!IsPlainName(name)) {
    entry.Problem = L"not a module name";
    return entry;
  }
  entry.Path = FBin + L"\\" + name;
  if (FileExists(entry.Path)) {
    entry.Image = std::make_unique<TModuleImage>();
    if (!entry.Image->Open(entry.Path)) {
      entry.State = TModuleState::Unusable;
      entry.Problem = entry.Image->Problem();
      return entry;
    }
    entry.State = TModuleState::Image;
    entry.Handle = reinterpret_cast<HMODULE>(entry.Image->Base());
    // Registered before binding, so that modules importing each other find it.
    Bind(entry);
    if (entry.State == TModuleState::Image) entry.Image->Protect();
    return entry;
  }
  // Not the IDE's: a module of the system, loaded from the system folder
  // only (never from the current folder or the search path).
  HMODULE system = GetModuleHandleW(name.c_str());
  if (!system) system = LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (system) {
    entry.State = TModuleState::System;
    entry.Handle = system;
    entry.Path = ModulePath(system);
    return entry;
  }
  entry.Path.clear();
  entry.Problem = L"not found in " + FBin;
  return entry;
}

void TIdeModules::Bind(TModuleEntry& entry) {
  for (const TImageImport& import : entry.Image->Imports()) {
    const std::wstring moduleName = FromUtf8(import.Module);
    HMODULE module = Resolve(moduleName);
    if (!module) {
      // The loader would refuse the module: so does the check.
      const TModuleEntry* missing = Find(moduleName);
      entry.State = TModuleState::Unusable;
      entry.Handle = nullptr;
      entry.Problem = L"imports " + moduleName + L", which is " +
                      (missing && missing->State == TModuleState::Missing ? L"missing" : L"unusable") +
                      (missing ? L" (" + missing->Problem + L")" : L"");
      return;
    }
    TModuleEntry* target = ByHandle(module);
    for (const TImageImportSlot& slot : import.Slots) {
      void* address = nullptr;
      if (target && target->Image) {
        address = ImageExport(*target->Image, slot.Name.empty() ? nullptr : slot.Name.c_str(), slot.Ordinal, 0);
      } else {
        address = reinterpret_cast<void*>(
            GetProcAddress(module, slot.Name.empty() ? MAKEINTRESOURCEA(slot.Ordinal) : slot.Name.c_str()));
      }
      if (!address) ++entry.UnboundImports;
      *slot.Slot = address;
    }
  }
}

void* TIdeModules::ImageExport(const TModuleImage& image, const char* name, uint16_t ordinal, int depth) {
  const TImageExport found = name ? image.ExportByName(name) : image.ExportByOrdinal(ordinal);
  if (found.Address || found.Forwarder.empty()) return found.Address;
  return Forwarded(found.Forwarder, depth + 1);
}

// "module.name" or "module.#ordinal"; the module gets ".dll" as the loader adds it.
void* TIdeModules::Forwarded(const std::string& forwarder, int depth) {
  const size_t dot = forwarder.find('.');
  if (depth > MaxForwarding || dot == std::string::npos || dot == 0) return nullptr;
  const std::wstring moduleName = FromUtf8(forwarder.substr(0, dot)) + L".dll";
  const std::string name = forwarder.substr(dot + 1);
  HMODULE module = Resolve(moduleName);
  if (!module) return nullptr;
  const bool byOrdinal = name.size() > 1 && name[0] == '#';
  const uint16_t ordinal = byOrdinal ? uint16_t(std::strtoul(name.c_str() + 1, nullptr, 10)) : 0;
  if (TModuleEntry* target = ByHandle(module); target && target->Image)
    return ImageExport(*target->Image, byOrdinal ? nullptr : name.c_str(), ordinal, depth);
  return reinterpret_cast<void*>(GetProcAddress(module, byOrdinal ? MAKEINTRESOURCEA(ordinal) : name.c_str()));
}

void* TIdeModules::Export(HMODULE module, const char* name) {
  if (!module || !name) return nullptr;
  if (TModuleEntry* entry = ByHandle(module); entry && entry->Image) return ImageExport(*entry->Image, name, 0, 0);
  return reinterpret_cast<void*>(GetProcAddress(module, name));
}

TPlanModulesScope::TPlanModulesScope(TIdeModules& modules) {
  g_planModules = &modules;
  SetPlanModuleResolver(&ResolveForPlans);
  SetPlanExportResolver(&ExportForPlans);
}

TPlanModulesScope::~TPlanModulesScope() {
  SetPlanExportResolver(nullptr);
  SetPlanModuleResolver(nullptr);
  g_planModules = nullptr;
}

} // namespace Quillmend
