// The change-directory notifier: SetCurrentDirectoryW and SetCurrentDirectoryA
// of kernel32.dll are hooked process-wide while the library is loaded, and
// after every call (successful or not) the one registered notifier is called
// on the thread that changed the directory. Not a named patch: it cannot be
// disabled. Any module of the process registers through the library's exports
// RegisterChangeDirectoryNotifier / UnregisterChangeDirectoryNotifier:
//
//   previous := RegisterChangeDirectoryNotifier(MyNotifier);  // keep it; MyNotifier may call it
//   ...
//   UnregisterChangeDirectoryNotifier(previous);               // at unload, in reverse order
#pragma once

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"

namespace Quillmend {

// A procedure without arguments and result. Called with the host's register
// convention; having no arguments, any convention that keeps the callee-saved
// registers fits.
using TChangeDirectoryNotifyProc = void(QM_REGISTER*)();

// Stores `proc` (null: none) in the one notifier slot; the slot's previous
// value in EAX. Neither validates its argument.
TChangeDirectoryNotifyProc QM_REGISTER RegisterChangeDirectoryNotifier(TChangeDirectoryNotifyProc proc)
    asm("_QmRegisterChangeDirectoryNotifier");
// Stores `proc` in the slot, unconditionally.
void QM_REGISTER UnregisterChangeDirectoryNotifier(TChangeDirectoryNotifyProc proc)
    asm("_QmUnregisterChangeDirectoryNotifier");

// Hooks both functions (once; raises the engine's error with the reason when
// the hook cannot be written). The removal puts kernel32's bytes back; the
// slot is left as it is.
void InstallChangeDirectoryNotify();
void RemoveChangeDirectoryNotify();
bool ChangeDirectoryNotifyInstalled();

// Runs before the patch modules: the compiler's directory cache registers
// its notifier at the expert entry.
extern const TUnitInfo ChangeDirectoryNotifyUnit;

} // namespace Quillmend
