// A stand-in IDE module of the build tree (host\<name> beside the
// benchmark's bin folder), loaded into the benchmark process with every
// patch enabled; a line on stdout and nullptr when it is not there.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

namespace Quillmend::Bench {

inline HMODULE LoadStandInModule(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  std::wstring dir(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  dir = dir.substr(0, dir.find_last_of(L"\\/"));
  dir = dir.substr(0, dir.find_last_of(L"\\/"));
  HMODULE module = LoadLibraryW((dir + L"\\host\\" + name).c_str());
  if (!module) std::printf("%ls not found\n", name);
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
  return module;
}

} // namespace Quillmend::Bench
