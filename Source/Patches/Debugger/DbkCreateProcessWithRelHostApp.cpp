#include "Patches/Debugger/DbkCreateProcessWithRelHostApp.h"

#include <optional>
#include <windows.h>

#include "Framework/HostFinally.h"
#include "Framework/LibraryEntry.h"
#include "Patches/Debugger/DebuggerModules.h"

namespace Quillmend {

namespace {

TDebugKernelCreateProcess g_createProcess = nullptr;  // the routine's original entry

TPatchPlan DbkCreateProcessWithRelHostAppPlan() {
  TPatchPlan plan(L"Debugger.FullExpandHostApp", L"FullExpand HostApp", TInstallMoment::WizardInit);
  TSiteRef routine = plan.Export(L"CreateProcess", DebuggerIdePackage, DebugKernelCreateProcessExport);
  plan.RedirectOrgCall(routine, &CreateProcessWithFullPath, reinterpret_cast<void**>(&g_createProcess));
  return plan;
}

void InitializeDbkCreateProcessWithRelHostApp() { AddWizardInitProc(&InstallDbkCreateProcessWithRelHostApp); }

}  // namespace

std::wstring ExpandExistingFileName(const std::wstring& name) {
  if (name.empty()) return std::wstring();
  const DWORD size = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (size == 0) return std::wstring();
  std::wstring full(size, L'\0');
  const DWORD length = GetFullPathNameW(name.c_str(), size, &full[0], nullptr);
  if (length == 0 || length >= size) return std::wstring();
  full.resize(length);
  const DWORD attributes = GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return std::wstring();
  return full;
}

uint32_t QM_REGISTER CreateProcessWithFullPath(void* self, void* procClntOps, uint32_t flags, uint32_t options,
                                               wchar_t* remotePath, const wchar_t* remoteHost, void* environment,
                                               const wchar_t* workingDirectory, wchar_t* arguments,
                                               const wchar_t* fileName) {
  std::optional<THostString> expanded;
  {
    const std::wstring full = ExpandExistingFileName(FromHostString(fileName));
    if (full.empty())
      return g_createProcess(self, procClntOps, flags, options, remotePath, remoteHost, environment,
                             workingDirectory, arguments, fileName);
    expanded.emplace(full);
  }
  // The expanded name is released also when a host exception leaves the routine.
  uint32_t result = 0;
  HostTryFinally(
      [&] {
        result = g_createProcess(self, procClntOps, flags, options, remotePath, remoteHost, environment,
                                 workingDirectory, arguments, expanded->Get());
      },
      [&]() noexcept { expanded.reset(); });
  return result;
}

std::vector<TPatchPlan> DbkCreateProcessWithRelHostAppPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(DbkCreateProcessWithRelHostAppPlan());
  return plans;
}

void InstallDbkCreateProcessWithRelHostApp() {
  TPatchPlan plan = DbkCreateProcessWithRelHostAppPlan();
  InstallPlan(plan);
}

const TUnitInfo Unit_DbkCreateProcessWithRelHostApp = {"DbkCreateProcessWithRelHostApp",
                                                       &InitializeDbkCreateProcessWithRelHostApp, nullptr,
                                                       &DbkCreateProcessWithRelHostAppPlans};

}  // namespace Quillmend
