#include "IdeRoot.h"

#include "FileSystem.h"

namespace Quillmend {

std::wstring IdeRootKey(const std::wstring& key) { return L"\\Software\\Embarcadero\\" + key + L"\\" + L"8.0"; }

bool IsXeRootKey(IRegistry& registry, const std::wstring& key) {
  std::wstring version;
  return ReadRegString(registry, HKEY_CURRENT_USER, IdeRootKey(key), L"ProductVersion", version) && version == L"15";
}

std::wstring IdeRootDir(IRegistry& registry, const std::wstring& key) {
  std::wstring rootDir, app;
  ReadRegString(registry, HKEY_CURRENT_USER, IdeRootKey(key), L"RootDir", rootDir);
  if (!DirectoryExists(rootDir)) {
    ReadRegString(registry, HKEY_CURRENT_USER, IdeRootKey(key), L"App", app);
    rootDir = ExtractFileDir(ExtractFileDir(app));
    if (!DirectoryExists(rootDir)) rootDir.clear();
  }
  return ExcludeTrailingPathDelimiter(rootDir);
}

} // namespace Quillmend
