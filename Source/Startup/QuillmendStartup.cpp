// Main unit of the start-up package QuillmendStartup.bpl. The IDE loads the
// package with its IDE packages and calls "Initialize"; the package then
// loads Quillmend.dll from its own directory, so the library's load-time
// patches go in before the IDE loads its experts. A missing or failing
// Quillmend.dll is not reported: the IDE still loads it later as an expert.
#include <string>
#include <windows.h>

namespace {

bool g_initialized = false;

HMODULE OwnModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&OwnModule), &module);
  return module;
}

std::wstring OwnFileName() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(OwnModule(), path.data(), DWORD(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) return path.substr(0, n);
    path.resize(path.size() * 2);
  }
}

}  // namespace

// Runs once. The extra reference to the package's own file is never
// released, so the package (whose engine exports patches may use) stays
// mapped even if the IDE unloads it; Quillmend.dll is never unloaded either.
extern "C" void __stdcall StartupInitialize() {
  if (g_initialized) return;
  g_initialized = true;
  try {
    std::wstring self = OwnFileName();
    if (self.empty()) return;
    LoadLibraryW(self.c_str());
    size_t slash = self.find_last_of(L"\\/");
    std::wstring directory = slash == std::wstring::npos ? std::wstring() : self.substr(0, slash + 1);
    LoadLibraryW((directory + L"Quillmend.dll").c_str());  // silent on purpose: not checked
  } catch (...) {
    // Out of memory while building a path: the expert route remains.
  }
}

extern "C" void __stdcall StartupFinalize() {}
