// The package exports of QuillmendStartup.bpl: the hooking engine's
// operations and the IDE-module access, in the host's register convention
// and behind the error boundary (a failure reaches the caller as a host
// exception with the engine's message). Every function here is exported by
// QuillmendStartup.def under a package-style name; the two lists are kept in
// the same order.
//
// Across the boundary, strings are host strings, Booleans 32-bit values,
// byte patterns open arrays (pointer and highest index), and a function
// result record is written through a pointer passed after the arguments.
// Start-code sizing is exported without an offset table.
#include "Framework/HostAbi.h"
#include "Framework/IDEHooks.h"
#include "Hooking/CallSites.h"
#include "Hooking/CodeRedirect.h"
#include "Hooking/MethodTables.h"
#include "Hooking/OrgCall.h"
#include "Hooking/PatternSearch.h"
#include "Hooking/StartCodeSize.h"
#include "Hooking/WinApiHooking.h"

using namespace Quillmend;

namespace {

TBytePattern Pattern(const int16_t* items, int32_t highIndex) {
  return items && highIndex >= 0 ? TBytePattern(items, items + highIndex + 1) : TBytePattern();
}

}  // namespace

extern "C" {

// ---- code redirection ----
QM_REGISTER int32_t StartupWriteCodeMemory(void* dest, void* source, uint32_t size, uint32_t* written) {
  return HostBoundary([&] { return int32_t(WriteCodeMemory(dest, source, size, *written)); });
}
QM_REGISTER void* StartupGetActualAddr(void* proc) {
  return HostBoundary([&] { return GetActualAddr(proc); });
}
QM_REGISTER void StartupCodeRedirect(void* proc, void* newProc, TRedirectCode* data) {
  HostBoundary([&] { CodeRedirect(proc, newProc, *data); });
}
QM_REGISTER void StartupCodeRedirectResult(void* proc, void* newProc, TRedirectCode* result) {
  HostBoundary([&] { *result = CodeRedirect(proc, newProc); });
}
QM_REGISTER void StartupCodeRestore(TRedirectCode* data) {
  HostBoundary([&] { CodeRestore(*data); });
}
QM_REGISTER void StartupUnhookFunction(TRedirectCode* data) {
  HostBoundary([&] { UnhookFunction(*data); });
}
QM_REGISTER void StartupRehookFunction(void* newProc, TRedirectCode* data) {
  HostBoundary([&] { RehookFunction(newProc, *data); });
}
QM_REGISTER void StartupHookFunctionInModule(HMODULE module, const wchar_t* procName, void* newProc,
                                             TRedirectCode* data) {
  HostBoundary([&] { HookFunction(module, FromHostString(procName).c_str(), newProc, *data); });
}
QM_REGISTER void StartupHookFunctionByName(const wchar_t* moduleName, const wchar_t* procName, void* newProc,
                                           TRedirectCode* data) {
  HostBoundary([&] {
    HookFunction(FromHostString(moduleName).c_str(), FromHostString(procName).c_str(), newProc, *data);
  });
}
QM_REGISTER int32_t StartupInjectCode(void* dest, const void* source, uint32_t size) {
  return HostBoundary([&] { return int32_t(InjectCode(dest, source, size)); });
}

// ---- start-code sizing and original-call trampolines ----
QM_REGISTER int32_t StartupGetStartCodeSize(const void* proc, int32_t minSize) {
  return HostBoundary([&] { return GetStartCodeSize(proc, minSize, nullptr); });
}
QM_REGISTER void* StartupCreateOrgCallMethodPtr(void* proc) {
  return HostBoundary([&] { return CreateOrgCallMethodPtr(proc); });
}
QM_REGISTER void* StartupRedirectOrgCall(void* proc, void* newProc) {
  return HostBoundary([&] { return RedirectOrgCall(proc, newProc); });
}
QM_REGISTER void StartupRedirectOrg(void* proc, void* newProc) {
  HostBoundary([&] { RedirectOrg(proc, newProc); });
}
QM_REGISTER void StartupRestoreOrgCall(void* proc, void* orgCallMethodPtr) {
  HostBoundary([&] { RestoreOrgCall(proc, orgCallMethodPtr); });
}

// ---- call sites, method tables, byte patterns ----
QM_REGISTER void* StartupGetCallTargetAddress(const void* site) {
  return HostBoundary([&] { return GetCallTargetAddress(site); });
}
QM_REGISTER void* StartupReplaceRelCallOffset(void* site, void* newTarget) {
  return HostBoundary([&] { return ReplaceRelCallOffset(site, newTarget); });
}
QM_REGISTER int32_t StartupReplaceOpCodeByRelCall(void* site, void* newTarget) {
  return HostBoundary([&] { return int32_t(ReplaceOpCodeByRelCall(site, newTarget)); });
}
QM_REGISTER int32_t StartupReplaceOpCodeByRelJump(void* site, void* newTarget) {
  return HostBoundary([&] { return int32_t(ReplaceOpCodeByRelJump(site, newTarget)); });
}
QM_REGISTER int32_t StartupReplaceInstructionByRelCall(void* site, void* newTarget) {
  return HostBoundary([&] { return int32_t(ReplaceInstructionByRelCall(site, newTarget)); });
}
QM_REGISTER int32_t StartupGetVirtualMethodCount(TClass aClass) {
  return HostBoundary([&] { return GetVirtualMethodCount(aClass); });
}
QM_REGISTER void* StartupGetVirtualMethod(TClass aClass, int32_t index) {
  return HostBoundary([&] { return GetVirtualMethod(aClass, index); });
}
QM_REGISTER void StartupSetVirtualMethod(TClass aClass, int32_t index, void* method) {
  HostBoundary([&] { SetVirtualMethod(aClass, index, method); });
}
QM_REGISTER int32_t StartupReplaceVmtField(TClass aClass, void* oldProc, void* newProc) {
  return HostBoundary([&] { return int32_t(ReplaceVmtField(aClass, oldProc, newProc)); });
}
QM_REGISTER void* StartupGetDynamicMethod(TClass aClass, int32_t index) {
  return HostBoundary([&] { return GetDynamicMethod(aClass, index); });
}
QM_REGISTER void* StartupReplaceDmtField(TClass aClass, int32_t index, void* newProc) {
  return HostBoundary([&] { return ReplaceDmtField(aClass, index, newProc); });
}
QM_REGISTER void* StartupFindMethodPtrFrom(void* startAddress, const int16_t* pattern, int32_t highIndex,
                                           int32_t maxSize) {
  return HostBoundary([&] { return FindMethodPtr(startAddress, Pattern(pattern, highIndex), maxSize); });
}
QM_REGISTER void* StartupFindMethodPtrInModule(HMODULE module, const int16_t* pattern, int32_t highIndex,
                                               int32_t maxSize) {
  return HostBoundary([&] { return FindMethodPtr(module, Pattern(pattern, highIndex), maxSize); });
}

// ---- Win32 function hooks ----
QM_REGISTER void* StartupHookWinApiProc(void* winApiProc, void* newProc, TWinApiHookInfo* info) {
  return HostBoundary([&] { return HookWinApiProc(winApiProc, newProc, *info); });
}
QM_REGISTER int32_t StartupUnhookWinApiProc(TWinApiHookInfo* info) {
  return HostBoundary([&] { return int32_t(UnhookWinApiProc(*info)); });
}

// ---- IDE-module access ----
QM_REGISTER HMODULE StartupGetDccHandle() {
  return HostBoundary([] { return GetDccHandle(); });
}
QM_REGISTER void* StartupDbgStrictGetProcAddress(HMODULE module, const char* name) {
  return HostBoundary([&] { return DbgStrictGetProcAddress(module, name); });
}

}  // extern "C"
