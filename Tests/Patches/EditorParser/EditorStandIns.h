// The editor, parser and code-completion fixes' stand-ins in the test
// process: rtl150.bpl, vcl150.bpl, boreditu.dll, coreide150.bpl,
// delphicoreide150.bpl and refactoride150.bpl (or a variant's copies), their
// drivers, the installation of the subsystem's patches as the library does
// it, and the workloads the three-way tests compare before and after.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "boreditu/BorEditDriver.h"
#include "coreide150/EditorControlDriver.h"
#include "coreide150/EditorKernelDriver.h"
#include "coreide150/KibitzingMonitorDriver.h"
#include "coreide150/ParserThreadDriver.h"
#include "delphicoreide150/ClassCompletionDriver.h"
#include "refactoride150/RefactorDriver.h"
#include "vcl150/FormsDriver.h"

namespace EditorStandIns {

// The modules in loading order.
const std::vector<std::wstring>& ModuleFiles();
// Loads them from <build>/host (a variant's copy where it has one; `omit`
// leaves one out) and binds the drivers.
void Load(const char* variant = nullptr, const wchar_t* omit = nullptr);
// Binds the drivers to the modules already loaded.
void BindLoaded();

const BorEditDriver::UndoDriver& Undo();
const EditorKernelDriver::Driver& Kernel();
const ParserThreadDriver::Driver& Parser();
const FormsDriver::Driver& Forms();
const RefactorDriver::Driver& Refactor();

// Installs every patch of the subsystem as the library does: the unit
// initializations, then the wizard-init procedures.
void Install(const std::wstring& disabledPatches = L"");
// "applied", "failed", "ignored", or "" when the patch is not registered.
std::wstring Status(const std::wstring& patch);
// Every failed patch's reason (for a failing assertion's message).
std::string Reasons();

// Class completion of a declaration (lines joined with "\n").
std::string CompleteClass(const std::string& declaration);
// An editor control's point for (column, line): "x,y".
std::string PointOf(void* control, int column, int line);
// A coreide150.bpl export by name.
template <class T>
T CoreIdeExport(const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"coreide150.bpl"), name)));
}

// What the stand-ins compute where the patches change nothing: undo groups,
// commands with undo enabled, copies without trailing blanks, points of
// controls with views, an action executed, class completions without "In"
// and without a missing published section.
std::string Exercise();

} // namespace EditorStandIns
