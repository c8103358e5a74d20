// Installation moments offered to patch modules: at expert entry
// (INITWIZARD0001) and on every load of the C++ compiler.
#pragma once

namespace Quillmend {

using TInitProc = void (*)();

void AddWizardInitProc(TInitProc proc);
void AddCppCompilerInitProc(TInitProc proc);
bool IsWizardInitialized();

} // namespace Quillmend
