// Installation moments offered to patch modules: at expert entry
// (INITWIZARD0001) and on every load of the C++ compiler.
#pragma once

#include <cstdint>
#include <string>

#include "Framework/LibraryUnitTable.h"

namespace Quillmend {

using TInitProc = void (*)();

void AddWizardInitProc(TInitProc proc);
void AddCppCompilerInitProc(TInitProc proc);
bool IsWizardInitialized();

// The Services interface the IDE handed the expert entry (IUnknown first;
// the IDE's tool services are reached through its QueryInterface). Set
// before the wizard-init procedures run; null before the expert entry.
extern void* BorlandIDEServices;

// Product title, also the caption of the warning shown at the expert entry.
extern const wchar_t* const ProductTitle;

// The expert entry behind the export INITWIZARD0001 (which wraps it in the
// error boundary). Always true.
bool WizardEntry(void* services, void* registerProc, void** terminate);

// Runs and discards the wizard-init queue; then, if C++ procedures are
// queued and "bccide.dll" is loaded, runs them if the compiler is already
// loaded and intercepts "CppLoadCompiler". Only the first call does anything.
void RunWizardInitProcs();
// Drops the C++ patches' registry entries and runs the C++-compiler-init queue.
void RunCppCompilerInitProcs();

// Replacement of bccide.dll's "CppLoadCompiler" (Flag: a Boolean in a 32-bit slot).
int32_t __stdcall CppLoadCompilerHook(int32_t action, uint32_t flag);
// Handed to the IDE through INITWIZARD0001's Terminate argument.
void __stdcall WizardTerminate();

// User-visible texts built from the patch registry.
std::wstring AboutBoxDescription();
std::wstring FailedPatchWarning();

// The main unit: its finalization removes the interception of
// "CppLoadCompiler" and releases the about-box service.
extern const TUnitInfo LibraryEntryUnit;

} // namespace Quillmend
