#include "Patches/Debugger/DebuggerModules.h"

namespace Quillmend {

HMODULE TModuleReference::Take() {
  if (FModule) return FModule;
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(0, FName, &module)) module = LoadLibraryW(FName);
  FModule = module;
  return module;
}

void TModuleReference::Release() {
  HMODULE module = FModule;
  FModule = nullptr;
  if (module) FreeLibrary(module);
}

}  // namespace Quillmend
