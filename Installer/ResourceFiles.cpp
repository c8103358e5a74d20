#include "ResourceFiles.h"

#include "FileSystem.h"
#include "InstallerError.h"

#include <windows.h>

namespace Quillmend {

bool ResourceExists(const std::wstring& resourceName) {
  return FindResourceW(GetModuleHandleW(nullptr), resourceName.c_str(), MAKEINTRESOURCEW(10)) != nullptr;
}

void ExtractResource(const std::wstring& resourceName, const std::wstring& fileName) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC resource = FindResourceW(module, resourceName.c_str(), MAKEINTRESOURCEW(10));
  if (!resource) throw EInstallerError(L"Resource " + resourceName + L" not found");
  HGLOBAL loaded = LoadResource(module, resource);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) RaiseLastSystemError();
  WriteFileReplacing(fileName, data, SizeofResource(module, resource), OwnExecutableName());
}

} // namespace Quillmend
