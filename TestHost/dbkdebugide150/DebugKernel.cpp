// Stand-in dbkdebugide150.bpl: TDebugKernel.CreateProcess hands the program
// name (the first string argument), the arguments and the creation flags to
// the debugger kernel bordbk150N.dll (the one loaded, else the one beside
// this package), which formats the command line and starts the program.
// The other arguments are taken and ignored.
#include <windows.h>

#include <string>
#include <type_traits>

#include "Common/HostLayout.h"
#include "Common/HostRtl.h"
#include "Common/RegisterCall.h"
#include "DbkDebugIdeDriver.h"
#include "bordbk150N/DebuggerKernelDriver.h"

using DbkDebugIdeDriver::TDebugKernel;

namespace {

HMODULE Kernel() {
  if (HMODULE loaded = GetModuleHandleW(L"bordbk150N.dll")) return loaded;
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&Kernel), &self);
  wchar_t path[MAX_PATH];
  std::wstring folder(path, GetModuleFileNameW(self, path, MAX_PATH));
  folder.resize(folder.find_last_of(L"\\/") + 1);
  return LoadLibraryW((folder + L"bordbk150N.dll").c_str());
}

}  // namespace

extern "C" {

// Stack arguments in reverse order (the host pushes FileName first).
uint8_t QM_HOST_REGISTER DbkIdeCreateProcessImpl(TDebugKernel* self, void* procClntOps, DWORD flags, DWORD options,
                                                 const wchar_t* remotePath, const wchar_t* remoteHost,
                                                 void* environment, const wchar_t* workingDirectory,
                                                 const wchar_t* arguments, const wchar_t* fileName)
    QM_HOST_SYMBOL(DbkIdeCreateProcessImpl);
uint8_t QM_HOST_REGISTER DbkIdeCreateProcessImpl(TDebugKernel* self, void*, DWORD flags, DWORD, const wchar_t*,
                                                 const wchar_t*, void*, const wchar_t*, const wchar_t* arguments,
                                                 const wchar_t* fileName) {
  DebuggerKernelDriver::Driver kernel;
  HMODULE module = Kernel();
  if (!module || !kernel.Bind(module)) {
    self->LastError = ERROR_MOD_NOT_FOUND;
    return 0;
  }
  std::wstring program, text;
  if (!QmHost::ReadHostString(fileName, program) || !QmHost::ReadHostString(arguments, text)) {
    self->LastError = ERROR_INVALID_PARAMETER;
    return 0;
  }
  if (kernel.startProcess(program.c_str(), text.c_str(), flags, &self->Process)) return 1;
  self->LastError = GetLastError();
  return 0;
}

BOOL __stdcall DbgIdeStartDebuggee(TDebugKernel* kernel, const wchar_t* program, const wchar_t* arguments,
                                   DWORD flags) {
  *kernel = TDebugKernel{};
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&DbgIdeStartDebuggee), &self);
  const void* entry = reinterpret_cast<const void*>(GetProcAddress(self, DbkDebugIdeDriver::Export::CreateProcess));
  if (!entry) {
    kernel->LastError = ERROR_PROC_NOT_FOUND;
    return FALSE;
  }
  const QmHost::HostRtl* rtl = QmHost::LoadedHostRtl();
  if (!rtl) {
    kernel->LastError = ERROR_MOD_NOT_FOUND;
    return FALSE;
  }
  // Host strings, as the IDE passes them; released after the call.
  wchar_t* hostProgram = rtl->NewString(program ? program : L"");
  wchar_t* hostArguments = rtl->NewString(arguments ? arguments : L"");
  QmHost::RegisterCallReport report;
  const uint32_t started = QmHost::CallRegisterChecked(entry, report, {QmHost::RegisterWord(kernel), 0, flags},
                                                       hostProgram, hostArguments, nullptr, nullptr, nullptr,
                                                       nullptr, 0u);
  rtl->Release(hostProgram);
  rtl->Release(hostArguments);
  if (!report.Clean()) {
    kernel->LastError = ERROR_INVALID_FUNCTION;
    return FALSE;
  }
  return (started & 0xFF) != 0;
}

BOOL __stdcall DbgIdeRunProcess(const wchar_t* commandLine, DWORD flags, PROCESS_INFORMATION* info) {
  std::wstring text = commandLine;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  return CreateProcessW(nullptr, &text[0], nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup, info);
}

void __stdcall Initialize() {}
void __stdcall Finalize() {}

}  // extern "C"

static_assert(std::is_same_v<decltype(&DbgIdeStartDebuggee), DbkDebugIdeDriver::StartDebuggeeFn> &&
                  std::is_same_v<decltype(&DbgIdeRunProcess), DbkDebugIdeDriver::RunProcessFn>,
              "the driver's types");

// ---- TDebugKernel.ntfyProcObjectDeleted (ProcObjectDeleted.S) ----------------------
// The debugger learns that the debuggee deleted an object: counted.
namespace {
int32_t g_objectsDeleted = 0;
}  // namespace

extern "C" {

void QM_HOST_REGISTER DbkIdeProcObjectDeleted(void* self, void* object) QM_HOST_SYMBOL(DbkIdeProcObjectDeleted);

void QM_HOST_REGISTER DbkIdeProcObjectDeletedWork(void* self, void* object) QM_HOST_SYMBOL(DbkIdeProcObjectDeletedWork);
void QM_HOST_REGISTER DbkIdeProcObjectDeletedWork(void*, void*) { ++g_objectsDeleted; }

// The IDE's side: one notification through the entry. → deletions so far.
int32_t __stdcall DbgIdeObjectDeleted(void* object) {
  TDebugKernel kernel = {};
  DbkIdeProcObjectDeleted(&kernel, object);
  return g_objectsDeleted;
}

}  // extern "C"
