// The registry of named patches: which are enabled, applied, ignored or failed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Quillmend {

enum TPatchState : uint8_t { psFailed = 0, psApplied = 1, psIgnored = 2 };

struct TPatchStatus {
  std::wstring Description;
  uint8_t Status = psFailed;
  bool CppCompilerPatch = false;
  std::wstring Reason;  // why a failed patch failed; empty when nobody said
};

// One registered patch as a report sees it.
struct TPatchReport {
  std::wstring Name;
  std::wstring Description;
  TPatchState Status;
  std::wstring Reason;
};

// True: the patch is enabled and now registered (failed until reported).
// False: disabled through "Quillmend.DisabledPatches"; nothing is recorded.
bool RegisterPatch(const std::wstring& name, const std::wstring& description, bool cppCompilerPatch);
// Whether "Quillmend.DisabledPatches" names the patch (or is "*"), read now;
// registers nothing (the check tool asks before installing anything).
bool IsPatchDisabled(const std::wstring& name);
// The registry's order of patch names: ignoring case, as the about box lists them.
bool PatchNameLess(const std::wstring& a, const std::wstring& b);
void SetPatchApplied(const std::wstring& name);
void SetPatchIgnored(const std::wstring& name);
// Leaves the patch failed and keeps the reason (the about box's text is
// unchanged; reasons are read through PatchReports). Raises like SetPatchApplied.
void SetPatchFailed(const std::wstring& name, const std::wstring& reason);
// True when registered and applied.
bool IsPatchApplied(const std::wstring& name);
// Every registered patch in list order (names sorted ignoring case).
std::vector<TPatchReport> PatchReports();
// "name: reason" for every failed patch, one per line (CR LF), in list order;
// "name: no reason given" where none was kept.
std::wstring FailedPatchReasons();
bool IsPatchRegistered(const std::wstring& name);
void GetPatchStatusText(bool onlyFailed, std::wstring& text);
bool HasFailedPatches();
void RemoveCppCompilerPatches();

// Unit initialization/finalization of the registry (creates/deletes its lock).
void InitializePatchRegistry();
void FinalizePatchRegistry();

} // namespace Quillmend
