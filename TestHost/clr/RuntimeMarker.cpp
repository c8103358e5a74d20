// A module whose presence in the process is all it says (mscoreei.dll: the
// .NET runtime is loaded; Borland.Studio.Interop.dll: the IDE's interop
// assembly is).
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
