#include "TestPaths.h"

#include <windows.h>

namespace {

std::wstring Parent(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/")); }

}  // namespace

std::wstring ProgramDirectory() {
  wchar_t path[MAX_PATH];
  return Parent(std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH)));
}

std::wstring BuildDirectory() { return Parent(ProgramDirectory()); }
