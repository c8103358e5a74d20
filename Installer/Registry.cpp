#include "Registry.h"

#include "InstallerError.h"
#include "StringUtils.h"

namespace Quillmend {

bool IRegKey::ValueExists(const std::wstring& name) {
  TRegValue value;
  return ReadValue(name, value);
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

std::wstring RegDataAsString(const TRegValue& value) {
  size_t chars = value.Data.size() / sizeof(wchar_t);
  std::wstring text(reinterpret_cast<const wchar_t*>(value.Data.data()), chars);
  size_t zero = text.find(L'\0');
  if (zero != std::wstring::npos) text.resize(zero);
  return text;
}

std::vector<BYTE> RegStringData(const std::wstring& text) {
  const BYTE* p = reinterpret_cast<const BYTE*>(text.c_str());
  return std::vector<BYTE>(p, p + (text.size() + 1) * sizeof(wchar_t));
}

std::wstring RelativeRegPath(const std::wstring& path) {
  return !path.empty() && path[0] == L'\\' ? path.substr(1) : path;
}

bool ReadRegString(IRegistry& registry, HKEY root, const std::wstring& key, const std::wstring& name,
                   std::wstring& text) {
  auto k = registry.OpenKey(root, key, TRegOpen::ReadOnly);
  TRegValue value;
  if (!k || !k->ReadValue(name, value) || !IsStringType(value.Type)) return false;
  text = RegDataAsString(value);
  return true;
}

bool ReadRegBool(IRegistry& registry, HKEY root, const std::wstring& key, const std::wstring& name,
                 bool def) {
  auto k = registry.OpenKey(root, RelativeRegPath(key + L"\\Globals"), TRegOpen::ReadOnly);
  TRegValue value;
  if (!k || !k->ReadValue(name, value)) return def;
  switch (value.Type) {
  case REG_SZ:
  case REG_EXPAND_SZ:
    return StrToIntDef(RegDataAsString(value), def ? 1 : 0) != 0;
  case REG_DWORD:
    return value.Data.size() >= 4 && *reinterpret_cast<const DWORD*>(value.Data.data()) != 0;
  case REG_BINARY:
    return !value.Data.empty() && value.Data[0] != 0;
  default:
    return def;
  }
}

std::unique_ptr<IRegKey> CreateRegKey(IRegistry& registry, HKEY root, const std::wstring& key) {
  auto k = registry.OpenKey(root, key, TRegOpen::Create);
  if (!k) throw EInstallerError(FormatText(L"Cannot create registry key \"%s\"", key));
  return k;
}

void WriteRegString(IRegistry& registry, HKEY root, const std::wstring& key, const std::wstring& name,
                    const std::wstring& value) {
  if (!CreateRegKey(registry, root, key)->WriteValue(name, REG_SZ, RegStringData(value)))
    throw EInstallerError(L"Failed to set data for '" + name + L"'");
}

void DeleteRegValue(IRegistry& registry, HKEY root, const std::wstring& key, const std::wstring& name) {
  auto k = registry.OpenKey(root, key, TRegOpen::ReadWrite);
  if (k && k->ValueExists(name)) k->DeleteValue(name);
}

} // namespace Quillmend
