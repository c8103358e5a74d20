// Test-only patch modules for the test build of Quillmend.dll. Each module
// does what a real patch module does at one installation moment, and only
// when its token is named in the environment variable
// "QuillmendTest.Patches" (";"-separated), so one test library serves every
// case. Events are appended to the file named by "QuillmendTest.Log", one
// line each, so tests can see what ran and how often.
#include "Framework/LibraryEntry.h"
#include "Framework/PatchPlan.h"
#include "Framework/PatchRegistry.h"
#include "Framework/LibraryUnitTable.h"
#include "Hooking/EngineError.h"

#include <cstdint>
#include <string>
#include <windows.h>

namespace Quillmend {
namespace {

std::wstring Environment(const wchar_t* name) {
  wchar_t buffer[2048];
  DWORD n = GetEnvironmentVariableW(name, buffer, DWORD(std::size(buffer)));
  return n > 0 && n < std::size(buffer) ? std::wstring(buffer, n) : std::wstring();
}

bool Selected(const wchar_t* token) {
  std::wstring list = L";" + Environment(L"QuillmendTest.Patches") + L";";
  return list.find(L";" + std::wstring(token) + L";") != std::wstring::npos;
}

void Log(const char* line) {
  std::wstring path = Environment(L"QuillmendTest.Log");
  if (path.empty()) return;
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  std::string text = std::string(line) + "\n";
  DWORD written;
  WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
  CloseHandle(file);
}

// ---- installed at library load ----------------------------------------------

void ImmediateInit() {
  if (!Selected(L"immediate")) return;
  Log("load immediate");
  TPatchPlan plan(L"Start.TestImmediate", L"Test patch installed at load", TInstallMoment::UnitInit);
  InstallPlan(plan);
}

// Rewrites bccide.dll's CppLoadCompiler at load so that every call answers
// 4242; the framework puts it back when the library unloads.
bool g_loadHookApplied = false;

int32_t __stdcall LoadHookReplacement(int32_t, uint32_t) { return 4242; }

void LoadHookInit() {
  if (!Selected(L"hook-at-load")) return;
  Log("load hook-at-load");
  TPatchPlan plan(L"Start.TestLoadHook", L"Test patch rewriting CppLoadCompiler at load", TInstallMoment::UnitInit);
  TSiteRef target = plan.Export(L"CppLoadCompiler", L"bccide.dll", "CppLoadCompiler");
  plan.Redirect(target, &LoadHookReplacement);
  g_loadHookApplied = InstallPlan(plan);
}

void LoadHookFinal() {
  if (!g_loadHookApplied) return;
  Log("finalize hook-at-load");
}

void RaiseAtLoadInit() {
  if (!Selected(L"raise-at-load")) return;
  Log("load raise-at-load");
  RaiseError("Test unit initialization failed");
}

// ---- installed at the expert entry ------------------------------------------

void WizardApplied() {
  Log("wizard applied");
  TPatchPlan plan(L"Compiler.TestWizard", L"Test patch installed at expert entry");
  InstallPlan(plan);
}

void WizardFailed() {
  Log("wizard failed");
  TPatchPlan plan(L"IDE.TestFailed", L"Test patch whose target is missing");
  plan.Module(L"QuillmendTestMissingModule.bpl");
  InstallPlan(plan);
}

void WizardIgnored() {
  Log("wizard ignored");
  TPatchPlan plan(L"VCL.TestIgnored", L"Test patch that does not apply");
  plan.IgnoreWhen(L"not for this host", [](const TPlanValues&) { return true; });
  InstallPlan(plan);
}

void WizardRaises() {
  Log("wizard raises");
  RaiseError("Test wizard-init procedure failed");
}

void WizardInit() {
  Log("load wizard");
  if (Selected(L"wizard")) AddWizardInitProc(WizardApplied);
  if (Selected(L"wizard-raise")) AddWizardInitProc(WizardRaises);
  if (Selected(L"wizard-fail")) AddWizardInitProc(WizardFailed);
  if (Selected(L"wizard-ignore")) AddWizardInitProc(WizardIgnored);
}

// ---- installed at every C++ compiler load --------------------------------------

void CppApplied() {
  Log("cpp applied");
  TPatchPlan plan(L"CppCompiler.TestCpp", L"Test patch of the C++ compiler", TInstallMoment::CppCompilerLoad);
  plan.Module(L"comp32x.dll");
  InstallPlan(plan);
}

void CppFailed() {
  Log("cpp failed");
  TPatchPlan plan(L"bcc.TestCppFailed", L"Test C++ patch whose target is missing", TInstallMoment::CppCompilerLoad);
  plan.Export(L"Missing", L"comp32x.dll", "QuillmendTestMissingExport");
  InstallPlan(plan);
}

void CppRaises() {
  Log("cpp raises");
  RaiseError("Test C++ compiler-init procedure failed");
}

void CppInit() {
  if (Selected(L"cpp")) AddCppCompilerInitProc(CppApplied);
  if (Selected(L"cpp-fail")) AddCppCompilerInitProc(CppFailed);
  if (Selected(L"cpp-raise")) AddCppCompilerInitProc(CppRaises);
}

const TUnitInfo ImmediateUnit = {"TestImmediate", ImmediateInit, nullptr};
const TUnitInfo LoadHookUnit = {"TestLoadHook", LoadHookInit, LoadHookFinal};
const TUnitInfo RaiseAtLoadUnit = {"TestRaiseAtLoad", RaiseAtLoadInit, nullptr};
const TUnitInfo WizardUnit = {"TestWizard", WizardInit, nullptr};
const TUnitInfo CppUnit = {"TestCpp", CppInit, nullptr};

}  // namespace

const TUnitInfo* const PatchUnits[] = {&ImmediateUnit, &LoadHookUnit, &RaiseAtLoadUnit, &WizardUnit, &CppUnit};
const size_t PatchUnitCount = std::size(PatchUnits);

}  // namespace Quillmend
