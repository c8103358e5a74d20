// Main module of Quillmend.dll (placeholder until the library entry lands).
#include "Framework/Units.h"
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

extern "C" BOOL __stdcall InitWizard(void*, void*, void**) { return TRUE; }
