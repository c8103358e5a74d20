// Main module of Quillmend.dll: the library's load and unload, and the
// expert entry exported as INITWIZARD0001.
#include "Framework/HostAbi.h"
#include "Framework/LibraryEntry.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchRegistry.h"

#include <algorithm>
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

// QuillmendFailedPatchReasons(Buffer, Size): Integer, stdcall. Why each failed
// patch failed, for tools and logs beside the about box: "name: reason"
// lines separated by CR LF. Copies at most Size - 1 characters and a zero
// into Buffer (when Buffer is given) and returns the whole text's length.
extern "C" int __stdcall QuillmendFailedPatchReasons(wchar_t* buffer, int size) {
  std::wstring text;
  CatchToMessage([&] { text = FailedPatchReasons(); }, text);
  if (buffer && size > 0) {
    const size_t count = std::min<size_t>(text.size(), size_t(size - 1));
    text.copy(buffer, count);
    buffer[count] = L'\0';
  }
  return int(text.size());
}
