#include "RealRegistry.h"

namespace QuillmendTest {

namespace {

struct TKey {
  HKEY Handle = nullptr;
  TKey(const std::wstring& path, bool create) {
    if (create)
      RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &Handle, nullptr);
    else if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &Handle) != ERROR_SUCCESS)
      Handle = nullptr;
  }
  ~TKey() {
    if (Handle) RegCloseKey(Handle);
  }
};

std::vector<std::wstring> Enumerate(const std::wstring& path, bool keys) {
  std::vector<std::wstring> names;
  TKey key(path, false);
  if (!key.Handle) return names;
  for (DWORD i = 0;; ++i) {
    wchar_t name[1024];
    DWORD len = 1024;
    LONG rc = keys ? RegEnumKeyExW(key.Handle, i, name, &len, nullptr, nullptr, nullptr, nullptr)
                   : RegEnumValueW(key.Handle, i, name, &len, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) break;
    names.emplace_back(name, len);
  }
  return names;
}

} // namespace

bool KeyExists(const std::wstring& path) { return TKey(path, false).Handle != nullptr; }

bool ReadValue(const std::wstring& path, const std::wstring& name, TRawValue& value) {
  TKey key(path, false);
  DWORD size = 0;
  if (!key.Handle || RegQueryValueExW(key.Handle, name.c_str(), nullptr, &value.Type, nullptr, &size) != ERROR_SUCCESS)
    return false;
  value.Data.assign(size, 0);
  return RegQueryValueExW(key.Handle, name.c_str(), nullptr, &value.Type, size ? value.Data.data() : nullptr,
                          &size) == ERROR_SUCCESS;
}

bool ValueExists(const std::wstring& path, const std::wstring& name) {
  TRawValue v;
  return ReadValue(path, name, v);
}

std::wstring ReadString(const std::wstring& path, const std::wstring& name) {
  TRawValue v;
  if (!ReadValue(path, name, v)) return L"<missing>";
  if (v.Type != REG_SZ) return L"<type " + std::to_wstring(v.Type) + L">";
  std::wstring text(reinterpret_cast<const wchar_t*>(v.Data.data()), v.Data.size() / 2);
  if (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

std::vector<std::wstring> ValueNames(const std::wstring& path) { return Enumerate(path, false); }
std::vector<std::wstring> SubKeyNames(const std::wstring& path) { return Enumerate(path, true); }

void WriteValue(const std::wstring& path, const std::wstring& name, DWORD type, const std::vector<BYTE>& data) {
  TKey key(path, true);
  RegSetValueExW(key.Handle, name.c_str(), 0, type, data.empty() ? nullptr : data.data(),
                 static_cast<DWORD>(data.size()));
}

void WriteString(const std::wstring& path, const std::wstring& name, const std::wstring& text) {
  const BYTE* p = reinterpret_cast<const BYTE*>(text.c_str());
  WriteValue(path, name, REG_SZ, std::vector<BYTE>(p, p + (text.size() + 1) * 2));
}

void WriteDword(const std::wstring& path, const std::wstring& name, DWORD value) {
  const BYTE* p = reinterpret_cast<const BYTE*>(&value);
  WriteValue(path, name, REG_DWORD, std::vector<BYTE>(p, p + 4));
}

void DeleteTree(const std::wstring& path) { RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str()); }

TRegistryDump DumpTree(const std::wstring& path) {
  TRegistryDump dump;
  if (!KeyExists(path)) return dump;
  dump[path + L"|"] = TRawValue();
  for (const std::wstring& name : ValueNames(path)) ReadValue(path, name, dump[path + L"|" + name]);
  for (const std::wstring& sub : SubKeyNames(path)) {
    TRegistryDump child = DumpTree(path + L"\\" + sub);
    dump.insert(child.begin(), child.end());
  }
  return dump;
}

void RestoreTree(const std::wstring& path, const TRegistryDump& dump) {
  DeleteTree(path);
  for (const auto& entry : dump) {
    size_t bar = entry.first.find(L'|');
    std::wstring key = entry.first.substr(0, bar), name = entry.first.substr(bar + 1);
    if (name.empty() && entry.second.Type == REG_NONE && entry.second.Data.empty())
      TKey(key, true);
    else
      WriteValue(key, name, entry.second.Type, entry.second.Data);
  }
}

} // namespace QuillmendTest
