// The IDE's modules as the check sees them: images opened from the IDE's
// bin folder (ModuleImage.h), each on first request, with their imports
// bound the way the loader would bind them (to other images of the folder,
// or to the system's own modules), so that import thunks and import tables
// read as in the running IDE. Nothing of the IDE is ever run.
#pragma once

#include <memory>
#include <string>
#include <vector>
#include <windows.h>

#include "Check/ModuleImage.h"

namespace Quillmend {

enum class TModuleState {
  Image,     // opened from the bin folder
  System,    // not in the bin folder: the system's module (kernel32.dll, ...)
  Missing,   // in neither place
  Unusable,  // in the bin folder, but not a usable 32-bit image (Problem says why)
};

struct TModuleEntry {
  std::wstring Name;     // as first asked for
  std::wstring Path;
  TModuleState State = TModuleState::Missing;
  std::wstring Problem;  // why it is missing or unusable, without the module's name
  std::unique_ptr<TModuleImage> Image;
  HMODULE Handle = nullptr;  // the image's base or the system module; null otherwise
  size_t UnboundImports = 0; // import entries no module exports
};

class TIdeModules {
public:
  explicit TIdeModules(std::wstring binDirectory);
  ~TIdeModules();
  TIdeModules(const TIdeModules&) = delete;
  TIdeModules& operator=(const TIdeModules&) = delete;

  // The module of that name (any case), opened on first request; null when
  // it is missing or unusable.
  HMODULE Resolve(const std::wstring& name);
  // An export of a resolved module, forwarders followed; null if none.
  void* Export(HMODULE module, const char* name);

  const std::wstring& BinDirectory() const { return FBin; }
  const TModuleEntry* Find(const std::wstring& name) const;
  // The modules asked for that are not system modules, in the order first asked.
  std::vector<const TModuleEntry*> IdeModules() const;

private:
  TModuleEntry& Open(const std::wstring& name);
  void Bind(TModuleEntry& entry);
  void* ImageExport(const TModuleImage& image, const char* name, uint16_t ordinal, int depth);
  void* Forwarded(const std::string& forwarder, int depth);
  TModuleEntry* ByHandle(HMODULE module) const;

  std::wstring FBin;
  std::vector<std::unique_ptr<TModuleEntry>> FEntries;
};

// While it lives, plans resolve their module names and exports through the
// given module set (SetPlanModuleResolver, SetPlanExportResolver).
class TPlanModulesScope {
public:
  explicit TPlanModulesScope(TIdeModules& modules);
  ~TPlanModulesScope();
  TPlanModulesScope(const TPlanModulesScope&) = delete;
  TPlanModulesScope& operator=(const TPlanModulesScope&) = delete;
};

} // namespace Quillmend
