#include "Patches/Debugger/DbkDefaultErrorModeFix.h"

#include "Framework/LibraryEntry.h"
#include "Patches/Debugger/DebuggerCRtl.h"
#include "Patches/Debugger/DebuggerModules.h"

namespace Quillmend {

namespace {

using TCreateProcessW = decltype(&CreateProcessW);

TModuleReference g_kernel(DebuggerKernelModule);
TCreateProcessW g_createProcess = nullptr;

HMODULE TakeKernel() { return g_kernel.Take(); }

TPatchPlan DbkDefaultErrorModeFixPlan() {
  TPatchPlan plan(L"Debugger.ErrorMode", L"Use default error mode for CreateProcess", TInstallMoment::WizardInit);
  TSiteRef kernel = plan.LoadedModule(DebuggerKernelModule, &TakeKernel);
  TSiteRef ide = plan.Module(DebuggerIdePackage);
  // Both or neither: a plan commits all its edits or none.
  plan.ImportSlots(kernel, "kernel32.dll", "CreateProcessW", &CreateProcessWithDefaultErrorMode);
  plan.ImportSlots(ide, "kernel32.dll", "CreateProcessW", &CreateProcessWithDefaultErrorMode);
  plan.OnCommit([](const TPlanValues&) {
    // The function's current entry: a hook over it (another patch's) still runs.
    g_createProcess = reinterpret_cast<TCreateProcessW>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CreateProcessW")));
  });
  return plan;
}

void InitializeDbkDefaultErrorModeFix() { AddWizardInitProc(&InstallDbkDefaultErrorModeFix); }

// The library's undo has put the slots back; now the kernel may go.
void FinalizeDbkDefaultErrorModeFix() { g_kernel.Release(); }

}  // namespace

BOOL WINAPI CreateProcessWithDefaultErrorMode(LPCWSTR application, LPWSTR commandLine,
                                              LPSECURITY_ATTRIBUTES processAttributes,
                                              LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles,
                                              DWORD flags, LPVOID environment, LPCWSTR currentDirectory,
                                              LPSTARTUPINFOW startupInfo, LPPROCESS_INFORMATION processInformation) {
  TCreateProcessW real = g_createProcess ? g_createProcess : &CreateProcessW;
  return real(application, commandLine, processAttributes, threadAttributes, inheritHandles,
              flags | CREATE_DEFAULT_ERROR_MODE, environment, currentDirectory, startupInfo, processInformation);
}

std::vector<TPatchPlan> DbkDefaultErrorModeFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(DbkDefaultErrorModeFixPlan());
  return plans;
}

void InstallDbkDefaultErrorModeFix() {
  TPatchPlan plan = DbkDefaultErrorModeFixPlan();
  InstallPlan(plan);
}

bool DbkDefaultErrorModeFixHoldsKernel() { return g_kernel.Held(); }

const TUnitInfo Unit_DbkDefaultErrorModeFix = {"DbkDefaultErrorModeFix", &InitializeDbkDefaultErrorModeFix,
                                               &FinalizeDbkDefaultErrorModeFix, &DbkDefaultErrorModeFixPlans};

}  // namespace Quillmend
