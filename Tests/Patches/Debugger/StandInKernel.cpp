#include "StandInKernel.h"

#include <stdexcept>

#include "Framework/PatchRegistry.h"
#include "Patches/Debugger/DebuggerCRtl.h"
#include "Patches/SystemUnit/FastMove.h"
#include "Patches/SystemUnit/FastcodeCPUID.h"
#include "TestPaths.h"

namespace DebuggerTest {

namespace {

DebuggerKernelDriver::Driver g_kernel;

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

HMODULE LoadKernel(const std::string& variant) {
  std::wstring path = BuildDirectory() + L"\\host\\bordbk150N.dll";
  if (!variant.empty()) {
    std::wstring altered =
        BuildDirectory() + L"\\host-variants\\" + std::wstring(variant.begin(), variant.end()) + L"\\bordbk150N.dll";
    if (FileExists(altered)) path = altered;
  }
  HMODULE module = LoadLibraryW(path.c_str());
  if (!module || !g_kernel.Bind(module)) throw std::runtime_error("cannot load the stand-in bordbk150N.dll");
  return module;
}

const DebuggerKernelDriver::Driver& Kernel() {
  if (!g_kernel.memcpy) {
    HMODULE module = GetModuleHandleW(L"bordbk150N.dll");
    if (!module || !g_kernel.Bind(module)) throw std::runtime_error("bordbk150N.dll is not loaded");
  }
  return g_kernel;
}

void InstallPatches(const std::wstring& disabled) {
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", disabled.c_str());
  RunInstallation();
}

void RunInstallation() {
  Quillmend::Unit_FastcodeCPUID.Initialize();
  Quillmend::Unit_FastMove.Initialize();
  Quillmend::InstallDebuggerCRtl();
}

std::wstring Status(const std::wstring& patch) {
  for (const Quillmend::TPatchReport& r : Quillmend::PatchReports())
    if (r.Name == patch)
      return r.Status == Quillmend::psApplied ? L"applied" : r.Status == Quillmend::psIgnored ? L"ignored" : L"failed";
  return L"";
}

std::wstring Reason(const std::wstring& patch) {
  for (const Quillmend::TPatchReport& r : Quillmend::PatchReports())
    if (r.Name == patch) return r.Reason;
  return L"";
}

}  // namespace DebuggerTest
