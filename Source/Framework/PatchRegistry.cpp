// The patch registry. One lock serializes every operation except
// IsPatchRegistered; the patch list is created at the first registration,
// which is also when "Quillmend.DisabledPatches" is read (once per process).
#include "Framework/PatchRegistry.h"

#include "Hooking/EngineError.h"
#include "Hooking/Utf8Conversion.h"

#include <algorithm>
#include <map>
#include <memory>
#include <vector>
#include <windows.h>

namespace Quillmend {
namespace {

// Case-insensitive order of patch names, like the host's sorted string list.
struct NameLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const {
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), int(a.size()), b.c_str(),
                          int(b.size())) == CSTR_LESS_THAN;
  }
};

using TPatchList = std::map<std::wstring, std::unique_ptr<TPatchStatus>, NameLess>;

CRITICAL_SECTION g_lock;
bool g_lockCreated = false;
std::unique_ptr<TPatchList> g_patches;
std::vector<std::wstring> g_disabledNames;  // sorted with NameLess
bool g_allDisabled = false;

const wchar_t* const StatusTexts[] = {L"failed ", L"applied", L"ignored"};

// The lock is created by the unit's initialization; code that runs before it
// (test programs, early callers) gets it created on first use.
void EnsureLock() {
  if (!g_lockCreated) {
    InitializeCriticalSectionAndSpinCount(&g_lock, 4000);
    g_lockCreated = true;
  }
}

class TRegistryLock {
public:
  TRegistryLock() { EnsureLock(); EnterCriticalSection(&g_lock); }
  ~TRegistryLock() { LeaveCriticalSection(&g_lock); }
  TRegistryLock(const TRegistryLock&) = delete;
  TRegistryLock& operator=(const TRegistryLock&) = delete;
};

// "Quillmend.DisabledPatches": "*" for all, else ";"-separated names (sorted).
void ReadDisabledPatches(bool& allDisabled, std::vector<std::wstring>& names) {
  std::wstring value;
  DWORD size = GetEnvironmentVariableW(L"Quillmend.DisabledPatches", nullptr, 0);
  if (size > 0) {
    value.resize(size);
    DWORD n = GetEnvironmentVariableW(L"Quillmend.DisabledPatches", value.data(), size);
    value.resize(n);
  }
  allDisabled = value == L"*";
  names.clear();
  size_t start = 0;
  while (start <= value.size()) {
    size_t end = value.find(L';', start);
    if (end == std::wstring::npos) end = value.size();
    if (end > start) names.push_back(value.substr(start, end - start));
    start = end + 1;
  }
  std::sort(names.begin(), names.end(), NameLess());
}

void CreatePatchList() {
  g_patches = std::make_unique<TPatchList>();
  ReadDisabledPatches(g_allDisabled, g_disabledNames);
}

TPatchStatus& FindRegistered(const std::wstring& name) {
  if (g_patches) {
    auto it = g_patches->find(name);
    if (it != g_patches->end()) return *it->second;
  }
  RaiseError("Patch \"%s\" not registered", ToUtf8(name).c_str());
}

} // namespace

bool PatchNameLess(const std::wstring& a, const std::wstring& b) { return NameLess()(a, b); }

bool IsPatchDisabled(const std::wstring& name) {
  bool allDisabled = false;
  std::vector<std::wstring> names;
  ReadDisabledPatches(allDisabled, names);
  return allDisabled || std::binary_search(names.begin(), names.end(), name, NameLess());
}

bool RegisterPatch(const std::wstring& name, const std::wstring& description, bool cppCompilerPatch) {
  TRegistryLock lock;
  if (!g_patches) CreatePatchList();
  if (g_allDisabled || std::binary_search(g_disabledNames.begin(), g_disabledNames.end(), name, NameLess()))
    return false;
  if (g_patches->count(name))
    RaiseError("String list does not allow duplicates");
  auto status = std::make_unique<TPatchStatus>();
  status->Description = description;
  status->Status = psFailed;
  status->CppCompilerPatch = cppCompilerPatch;
  g_patches->emplace(name, std::move(status));
  return true;
}

void SetPatchApplied(const std::wstring& name) {
  TRegistryLock lock;
  TPatchStatus& status = FindRegistered(name);
  status.Status = psApplied;
  status.Reason.clear();
}

void SetPatchIgnored(const std::wstring& name) {
  TRegistryLock lock;
  FindRegistered(name).Status = psIgnored;
}

void SetPatchFailed(const std::wstring& name, const std::wstring& reason) {
  TRegistryLock lock;
  TPatchStatus& status = FindRegistered(name);
  status.Status = psFailed;
  status.Reason = reason;
}

bool IsPatchApplied(const std::wstring& name) {
  TRegistryLock lock;
  if (!g_patches) return false;
  auto it = g_patches->find(name);
  return it != g_patches->end() && it->second->Status == psApplied;
}

std::vector<TPatchReport> PatchReports() {
  TRegistryLock lock;
  std::vector<TPatchReport> reports;
  if (!g_patches) return reports;
  for (const auto& [name, status] : *g_patches)
    reports.push_back({name, status->Description, TPatchState(status->Status), status->Reason});
  return reports;
}

std::wstring FailedPatchReasons() {
  std::wstring text;
  for (const TPatchReport& report : PatchReports()) {
    if (report.Status != psFailed) continue;
    if (!text.empty()) text += L"\r\n";
    text += report.Name + L": " + (report.Reason.empty() ? L"no reason given" : report.Reason);
  }
  return text;
}

bool IsPatchRegistered(const std::wstring& name) {
  // Unlocked by design; before any registration there is no list and the answer is false.
  return g_patches && g_patches->count(name) != 0;
}

void GetPatchStatusText(bool onlyFailed, std::wstring& text) {
  text.clear();
  TRegistryLock lock;
  if (!g_patches) {
    text = L"(no patches installed)";
    return;
  }
  for (const auto& [name, status] : *g_patches) {
    if (status->Status == psIgnored) continue;
    if (onlyFailed && status->Status != psFailed) continue;
    text += L"\r\n";
    text += StatusTexts[status->Status];
    text += L": ";
    text += status->Description;
    text += L" [";
    text += name;
    text += L"]";
  }
  // Strip leading blanks and control characters (removes the first CR LF).
  size_t start = 0;
  while (start < text.size() && text[start] <= L' ') ++start;
  text.erase(0, start);
}

bool HasFailedPatches() {
  TRegistryLock lock;
  if (!g_patches) return false;
  for (const auto& entry : *g_patches)
    if (entry.second->Status == psFailed) return true;
  return false;
}

void RemoveCppCompilerPatches() {
  TRegistryLock lock;
  if (!g_patches) return;
  for (auto it = g_patches->begin(); it != g_patches->end();) {
    if (it->second->CppCompilerPatch)
      it = g_patches->erase(it);
    else
      ++it;
  }
}

void InitializePatchRegistry() { EnsureLock(); }

void FinalizePatchRegistry() {
  if (g_lockCreated) {
    DeleteCriticalSection(&g_lock);
    g_lockCreated = false;
  }
}

} // namespace Quillmend
