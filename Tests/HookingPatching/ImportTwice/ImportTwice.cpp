// Test DLL whose import tables hold GetTickCount three times: twice in a
// descriptor named "kernel32.DLL", once in the runtime's "KERNEL32.dll".
#include <windows.h>

extern "C" {
__declspec(dllimport) DWORD WINAPI QmFirstTickCount();
__declspec(dllimport) DWORD WINAPI QmSecondTickCount();

DWORD WINAPI FirstTickCount() { return QmFirstTickCount(); }
DWORD WINAPI SecondTickCount() { return QmSecondTickCount(); }
DWORD WINAPI PlainTickCount() { return GetTickCount(); }
}
