#include "StandInSystem.h"

#include <stdexcept>

#include "Framework/PatchRegistry.h"
#include "Patches/SystemUnit/FastCodeInstall.h"
#include "Patches/SystemUnit/FastMove.h"
#include "Patches/SystemUnit/FastcodeCPUID.h"
#include "Patches/SystemUnit/FindHInstanceCache.h"
#include "Patches/SystemUnit/SystemOptimize.h"
#include "Common/HostRtl.h"
#include "TestPaths.h"

namespace SystemTest {

namespace {

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

}  // namespace

HMODULE LoadRuntime(const std::string& variant) {
  if (HMODULE loaded = GetModuleHandleW(L"rtl150.bpl")) return loaded;
  std::wstring path = BuildDirectory() + L"\\host\\rtl150.bpl";
  if (!variant.empty()) {
    std::wstring altered =
        BuildDirectory() + L"\\host-variants\\" + std::wstring(variant.begin(), variant.end()) + L"\\rtl150.bpl";
    if (FileExists(altered)) path = altered;
  }
  HMODULE module = LoadLibraryW(path.c_str());
  if (!module) throw std::runtime_error("cannot load " + Narrow(path));
  return module;
}

HMODULE Runtime() {
  HMODULE module = GetModuleHandleW(L"rtl150.bpl");
  return module ? module : LoadRuntime();
}

HMODULE LoadStringModule(const std::wstring& file) {
  const std::wstring path = BuildDirectory() + L"\\host-strings\\" + file;
  HMODULE module = LoadLibraryW(path.c_str());
  if (!module) throw std::runtime_error("cannot load " + Narrow(path));
  return module;
}

void UnloadStringModule(HMODULE module) {
  auto notify = RuntimeExport<SystemUnitDriver::NotifyModuleUnloadFn>(SystemUnitDriver::Export::NotifyModuleUnload);
  notify(uint32_t(reinterpret_cast<uintptr_t>(module)));
  FreeLibrary(module);
}

void InitializeFastMove() {
  Quillmend::Unit_FastcodeCPUID.Initialize();
  Quillmend::Unit_FastMove.Initialize();
}

void InstallPatches(const std::wstring& disabled) {
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", disabled.c_str());
  RunInstallation();
}

void RunInstallation() {
  InitializeFastMove();
  Quillmend::InstallFastCode();
  Quillmend::InstallSystemOptimize();
  Quillmend::InstallFindHInstanceCache();
}

std::wstring Text(const wchar_t* hostString) {
  return hostString ? std::wstring(hostString, size_t(QmHost::StrHeader(hostString)->length)) : std::wstring();
}

void Release(wchar_t*& hostString) {
  RuntimeExport<QmHost::HostRtl::UStrClrFn>(QmHost::RtlExport::UStrClr)(&hostString);
}

wchar_t* NewString(const std::wstring& text) {
  if (text.empty()) return nullptr;
  wchar_t* s = RuntimeExport<QmHost::HostRtl::NewUnicodeStringFn>(QmHost::RtlExport::NewUnicodeString)(int(text.size()));
  text.copy(s, text.size());
  return s;
}

long Allocations() { return RuntimeExport<long(__stdcall*)()>("RtlAllocationCount")(); }

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

}  // namespace SystemTest
