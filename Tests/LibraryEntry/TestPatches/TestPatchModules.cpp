// Test-only patch modules for the test build of Quillmend.dll. Each module
// does what a real patch module does at one installation moment, and only
// when its token is named in the environment variable
// "QuillmendTest.Patches" (";"-separated), so one test library serves every
// case. Events are appended to the file named by "QuillmendTest.Log", one
// line each, so tests can see what ran and how often.
#include "Framework/IDEHooks.h"
#include "Framework/LibraryEntry.h"
#include "Framework/PatchRegistry.h"
#include "Framework/Units.h"
#include "Hooking/CodeRedirect.h"
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
  if (RegisterPatch(L"Start.TestImmediate", L"Test patch installed at load", false))
    SetPatchApplied(L"Start.TestImmediate");
}

// Rewrites bccide.dll's CppLoadCompiler at load so that every call answers
// 4242; the finalization puts it back.
TRedirectCode g_loadHook = {};

int32_t __stdcall LoadHookReplacement(int32_t, uint32_t) { return 4242; }

void LoadHookInit() {
  if (!Selected(L"hook-at-load")) return;
  Log("load hook-at-load");
  HMODULE bccide = GetModuleHandleW(L"bccide.dll");
  void* target = bccide ? DbgStrictGetProcAddress(bccide, "CppLoadCompiler") : nullptr;
  if (!RegisterPatch(L"Start.TestLoadHook", L"Test patch rewriting CppLoadCompiler at load", false) || !target)
    return;
  CodeRedirect(target, reinterpret_cast<void*>(&LoadHookReplacement), g_loadHook);
  SetPatchApplied(L"Start.TestLoadHook");
}

void LoadHookFinal() {
  if (g_loadHook.Count == 0) return;
  Log("finalize hook-at-load");
  CodeRestore(g_loadHook);
}

void RaiseAtLoadInit() {
  if (!Selected(L"raise-at-load")) return;
  Log("load raise-at-load");
  RaiseError("Test unit initialization failed");
}

// ---- installed at the expert entry ------------------------------------------

void WizardApplied() {
  Log("wizard applied");
  if (RegisterPatch(L"Compiler.TestWizard", L"Test patch installed at expert entry", false))
    SetPatchApplied(L"Compiler.TestWizard");
}

void WizardFailed() {
  Log("wizard failed");
  RegisterPatch(L"IDE.TestFailed", L"Test patch whose target is missing", false);
}

void WizardIgnored() {
  Log("wizard ignored");
  if (RegisterPatch(L"VCL.TestIgnored", L"Test patch that does not apply", false))
    SetPatchIgnored(L"VCL.TestIgnored");
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
  if (RegisterPatch(L"CppCompiler.TestCpp", L"Test patch of the C++ compiler", true) &&
      GetModuleHandleW(L"comp32x.dll"))
    SetPatchApplied(L"CppCompiler.TestCpp");
}

void CppFailed() {
  Log("cpp failed");
  RegisterPatch(L"bcc.TestCppFailed", L"Test C++ patch whose target is missing", true);
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
