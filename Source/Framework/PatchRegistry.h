// The registry of named patches: which are enabled, applied, ignored or failed.
#pragma once

#include <cstdint>
#include <string>

namespace Quillmend {

enum TPatchState : uint8_t { psFailed = 0, psApplied = 1, psIgnored = 2 };

struct TPatchStatus {
  std::wstring Description;
  uint8_t Status = psFailed;
  bool CppCompilerPatch = false;
};

// True: the patch is enabled and now registered (failed until reported).
// False: disabled through "Quillmend.DisabledPatches"; nothing is recorded.
bool RegisterPatch(const std::wstring& name, const std::wstring& description, bool cppCompilerPatch);
void SetPatchApplied(const std::wstring& name);
void SetPatchIgnored(const std::wstring& name);
bool IsPatchRegistered(const std::wstring& name);
void GetPatchStatusText(bool onlyFailed, std::wstring& text);
bool HasFailedPatches();
void RemoveCppCompilerPatches();

// Unit initialization/finalization of the registry (creates/deletes its lock).
void InitializePatchRegistry();
void FinalizePatchRegistry();

} // namespace Quillmend
