// Stand-in bccide.dll: the IDE's C++ personality module. CppLoadCompiler
// loads and unloads the C++ compiler library comp32x.dll from this module's
// own directory.
#include <windows.h>

#include <string>
#include <type_traits>

#include "BccIdeDriver.h"

// The entry written in CppLoadCompiler.S; its type is the driver header's.
extern "C" int __stdcall CppLoadCompilerEntry(int action, BOOL flag) asm("_CppLoadCompiler@8");
static_assert(std::is_same_v<decltype(&CppLoadCompilerEntry), BccIdeDriver::CppLoadCompilerFn>,
              "CppLoadCompiler differs from BccIdeDriver.h");

namespace {

HMODULE g_self = nullptr;
HMODULE g_compiler = nullptr;

std::wstring OwnDirectory() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(g_self, path, MAX_PATH);
  std::wstring dir(path, n);
  size_t slash = dir.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : dir.substr(0, slash + 1);
}

} // namespace

// Action 1 loads the compiler (1 on success, 0 if it cannot be loaded),
// Action 0 unloads it (returns 0); any other action is returned unchanged so
// that a caller can see its call arrived untouched. Flag is not used here.
extern "C" int BccLoadCompiler(int action, BOOL flag) {
  switch (action) {
    case 1:
      if (!g_compiler) g_compiler = LoadLibraryW((OwnDirectory() + L"comp32x.dll").c_str());
      return g_compiler ? 1 : 0;
    case 0:
      if (g_compiler) {
        FreeLibrary(g_compiler);
        g_compiler = nullptr;
      }
      return 0;
    default:
      return action;
  }
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_self = instance;
  return TRUE;
}
