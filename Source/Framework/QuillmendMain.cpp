// Main module of Quillmend.dll: the library's load and unload, and the
// expert entry exported as INITWIZARD0001.
#include "Framework/HostAbi.h"
#include "Framework/LibraryEntry.h"
#include "Framework/LibraryUnitTable.h"

#include <windows.h>

using namespace Quillmend;

// Process attach runs every unit initialization once, in link order. If one
// raises, the units already initialized have been finalized again (their
// patches removed), the error goes to the host's global exception handler
// (or an error box) and the load fails: DllMain answers FALSE, so the loader
// unloads the library and LoadLibrary reports failure to its caller. A host
// exception is not raised here: it would unwind through the system loader.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  std::wstring message;
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      DisableThreadLibraryCalls(instance);
      if (CatchToMessage([] { LibraryUnits().InitializeUnits(); }, message)) return TRUE;
      ReportError(message, L"Quillmend");
      return FALSE;
    case DLL_PROCESS_DETACH:
      // Nobody is left to tell about a failing finalization.
      CatchToMessage([] { LibraryUnits().FinalizeUnits(); }, message);
      return TRUE;
    default:
      return TRUE;
  }
}

// INITWIZARD0001(Services, RegisterProc, var Terminate): Boolean, stdcall.
extern "C" BOOL __stdcall InitWizard(void* services, void* registerProc, void** terminate) {
  return HostBoundary([&] { return WizardEntry(services, registerProc, terminate) ? TRUE : FALSE; });
}
