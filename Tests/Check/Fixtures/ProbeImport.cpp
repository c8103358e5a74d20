// CheckProbeImport.dll: the module the probe imports from. Loading the probe
// for real loads this one and runs its entry point, which records it.
#include "ProbeRecord.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) RecordThatItRan(instance, L"entry-ran");
  return TRUE;
}

extern "C" int ProbeImportedFunction() { return 7; }
