#include "Registry.h"

#include <windows.h>

namespace QmHost {

namespace {

HKEY OpenKey(const std::wstring& root, const std::wstring& subKey) {
  HKEY key = nullptr;
  std::wstring path = root + L"\\" + subKey;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return nullptr;
  return key;
}

std::wstring StringData(DWORD type, const std::vector<BYTE>& data, DWORD size) {
  if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
  std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  if (type == REG_EXPAND_SZ) {
    wchar_t expanded[4096];
    DWORD n = ExpandEnvironmentStringsW(text.c_str(), expanded, 4096);
    if (n > 0 && n <= 4096) text = expanded;
  }
  return text;
}

} // namespace

std::vector<std::pair<std::wstring, std::wstring>> ReadStringValues(const std::wstring& root,
                                                                    const std::wstring& subKey) {
  std::vector<std::pair<std::wstring, std::wstring>> values;
  HKEY key = OpenKey(root, subKey);
  if (!key) return values;
  DWORD maxName = 0, maxData = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, &maxData,
                   nullptr, nullptr);
  std::vector<wchar_t> name(maxName + 2);
  std::vector<BYTE> data(maxData + 4);
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD dataSize = static_cast<DWORD>(data.size());
    DWORD type = 0;
    LONG rc = RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &dataSize);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) continue;
    values.emplace_back(std::wstring(name.data(), nameLength), StringData(type, data, dataSize));
  }
  RegCloseKey(key);
  return values;
}

bool HasValue(const std::wstring& root, const std::wstring& subKey, const std::wstring& name) {
  HKEY key = OpenKey(root, subKey);
  if (!key) return false;
  bool found = RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(key);
  return found;
}

} // namespace QmHost
