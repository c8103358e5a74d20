// A module the check must open without running any of it: its entry point
// and its TLS callback record that they ran, and it imports from a module
// whose entry point records too. ProbeThunk is an import thunk
// (jmp [import slot]) the tests follow into the imported module.
#include "ProbeRecord.h"

extern "C" int ProbeImportedFunction();

namespace {

HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<const wchar_t*>(&ThisModule), &module);
  return module;
}

void NTAPI ProbeTlsCallback(PVOID, DWORD reason, PVOID) {
  if (reason == DLL_PROCESS_ATTACH) RecordThatItRan(ThisModule(), L"tls-ran");
}

}  // namespace

// The C runtime's TLS directory runs every callback in .CRT$XL*.
extern "C" const IMAGE_TLS_DIRECTORY _tls_used;
extern "C" __attribute__((section(".CRT$XLB"), used)) const PIMAGE_TLS_CALLBACK ProbeTls = ProbeTlsCallback;
const void* const ProbeKeepTls = &_tls_used;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) RecordThatItRan(instance, L"entry-ran");
  return TRUE;
}

extern "C" int __stdcall ProbeCall() { return ProbeImportedFunction() + 1; }

// A data export that holds an address inside the module: relocated with it.
extern "C" {
const void* ProbeSelfPointer = reinterpret_cast<const void*>(&ProbeCall);
}

asm(".text\n"
    ".globl _ProbeThunk\n"
    "_ProbeThunk:\n"
    "  jmp *__imp__ProbeImportedFunction\n");
