#include "StandInDebugger.h"

#include <algorithm>
#include <stdexcept>

#include "Framework/PatchRegistry.h"
#include "Patches/Debugger/DbgExprInspectorMemoryLeakFix.h"
#include "Patches/Debugger/DbgTruncArgsFix.h"
#include "Patches/Debugger/DbkCreateProcessWithRelHostApp.h"
#include "Patches/Debugger/DbkDefaultErrorModeFix.h"
#include "Patches/Debugger/DebuggerCRtl.h"
#include "Patches/Debugger/DebuggerLogView.h"
#include "Patches/SystemUnit/FastMove.h"
#include "Patches/SystemUnit/FastcodeCPUID.h"
#include "TestPaths.h"

namespace DebuggerTest {

namespace {

DebuggerKernelDriver::Driver g_kernel;
CoreIdeDriver::DebuggerLog g_log;
DbkDebugIdeDriver::Driver g_ide;
DbkDebugProIdeDriver::Driver g_pro;

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

HMODULE LoadHostModule(const std::wstring& file, const std::string& variant) {
  std::wstring path = BuildDirectory() + L"\\host\\" + file;
  if (!variant.empty()) {
    std::wstring altered =
        BuildDirectory() + L"\\host-variants\\" + std::wstring(variant.begin(), variant.end()) + L"\\" + file;
    if (FileExists(altered)) path = altered;
  }
  return LoadLibraryW(path.c_str());
}

double NowMs() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return double(t.QuadPart) * 1000.0 / double(f.QuadPart);
}

}  // namespace

void LoadCoreIde(const std::string& variant) {
  if (!LoadHostModule(L"rtl150.bpl", "") || !LoadHostModule(L"coreide150.bpl", variant))
    throw std::runtime_error("cannot load the stand-in core package");
  Log();
}

const CoreIdeDriver::DebuggerLog& Log() {
  if (!g_log.Manager) {
    HMODULE coreIde = GetModuleHandleW(L"coreide150.bpl");
    if (!coreIde || !g_log.Bind(coreIde)) throw std::runtime_error("coreide150.bpl lacks the event log");
    reinterpret_cast<void(__stdcall*)()>(GetProcAddress(coreIde, "Initialize"))();
    g_log.Manager();
  }
  return g_log;
}

CoreIdeDriver::LogCounters Counters() {
  CoreIdeDriver::LogCounters counters{};
  Log().Counters(&counters);
  return counters;
}

void PumpMessages(double ms) {
  const double until = NowMs() + ms;
  for (double now = NowMs(); now < until; now = NowMs()) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    if (until - now > 2) MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(until - now - 1), QS_ALLINPUT);
  }
}

HMODULE LoadKernel(const std::string& variant) {
  HMODULE module = LoadHostModule(L"bordbk150N.dll", variant);
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

void LoadDebuggerPackages(const std::string& variant) {
  HMODULE ide = LoadHostModule(L"dbkdebugide150.bpl", variant);
  HMODULE pro = LoadHostModule(L"dbkdebugproide150.bpl", variant);
  if (!ide || !pro || !g_ide.Bind(ide) || !g_pro.Bind(pro))
    throw std::runtime_error("cannot load the stand-in debugger packages");
}

const DbkDebugIdeDriver::Driver& Ide() {
  if (!g_ide.startDebuggee && !g_ide.Bind(GetModuleHandleW(L"dbkdebugide150.bpl")))
    throw std::runtime_error("dbkdebugide150.bpl is not loaded");
  return g_ide;
}

const DbkDebugProIdeDriver::Driver& Pro() {
  if (!g_pro.openWatch && !g_pro.Bind(GetModuleHandleW(L"dbkdebugproide150.bpl")))
    throw std::runtime_error("dbkdebugproide150.bpl is not loaded");
  return g_pro;
}

std::wstring DebuggeePath() { return BuildDirectory() + L"\\host\\debuggee.exe"; }

std::wstring RunDebuggee(const std::wstring& program, const std::wstring& arguments, bool* started) {
  wchar_t folder[MAX_PATH], file[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"dbg", 0, file);
  DeleteFileW(file);
  const std::wstring output = file;
  DbkDebugIdeDriver::TDebugKernel kernel{};
  const bool ok = Ide().startDebuggee(&kernel, program.c_str(), (output + L" " + arguments).c_str(), 0) != FALSE;
  if (started) *started = ok;
  if (!ok) return L"";
  WaitForSingleObject(kernel.Process.hProcess, 30000);
  CloseHandle(kernel.Process.hProcess);
  CloseHandle(kernel.Process.hThread);
  std::wstring received;
  HANDLE handle = CreateFileW(output.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    const DWORD size = GetFileSize(handle, nullptr);
    received.resize(size / sizeof(wchar_t));
    DWORD read = 0;
    if (size) ReadFile(handle, &received[0], size, &read, nullptr);
    CloseHandle(handle);
  }
  DeleteFileW(output.c_str());
  // What follows the output file's name and its blank.
  const size_t at = received.find(output);
  return at == std::wstring::npos ? received : received.substr(std::min(received.size(), at + output.size() + 1));
}

void InstallPatches(const std::wstring& disabled) {
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", disabled.c_str());
  RunInstallation();
}

void RunInstallation() {
  Quillmend::Unit_FastcodeCPUID.Initialize();
  Quillmend::Unit_FastMove.Initialize();
  Quillmend::InstallDebuggerLogView();
  Quillmend::InstallDebuggerCRtl();
  Quillmend::InstallDbkDefaultErrorModeFix();
  Quillmend::InstallDbgTruncArgsFix();
  Quillmend::InstallDbgExprInspectorMemoryLeakFix();
  Quillmend::InstallDbkCreateProcessWithRelHostApp();
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
