#include "Win32Registry.h"

namespace Quillmend {

namespace {

class TWin32RegKey : public IRegKey {
public:
  explicit TWin32RegKey(HKEY key) : FKey(key) {}
  ~TWin32RegKey() override { RegCloseKey(FKey); }

  bool GetValueNames(std::vector<std::wstring>& names) override {
    return Enumerate(names, false);
  }

  bool GetKeyNames(std::vector<std::wstring>& names) override { return Enumerate(names, true); }

  bool ReadValue(const std::wstring& name, TRegValue& value) override {
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueExW(FKey, name.c_str(), nullptr, &type, nullptr, &size);
    // The size can grow between the two calls when someone else writes the value.
    for (int attempt = 0; rc == ERROR_SUCCESS && attempt < 4; ++attempt) {
      value.Data.assign(size, 0);
      DWORD got = size;
      rc = RegQueryValueExW(FKey, name.c_str(), nullptr, &type, size ? value.Data.data() : nullptr, &got);
      if (rc == ERROR_SUCCESS) {
        value.Data.resize(got);
        value.Name = name;
        value.Type = type;
        return true;
      }
      if (rc == ERROR_MORE_DATA) {
        size = got;
        rc = ERROR_SUCCESS;
      }
    }
    return false;
  }

  bool WriteValue(const std::wstring& name, DWORD type, const std::vector<BYTE>& data) override {
    return RegSetValueExW(FKey, name.c_str(), 0, type, data.empty() ? nullptr : data.data(),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
  }

  bool DeleteValue(const std::wstring& name) override {
    return RegDeleteValueW(FKey, name.c_str()) == ERROR_SUCCESS;
  }

private:
  bool Enumerate(std::vector<std::wstring>& names, bool keys) {
    names.clear();
    DWORD maxKeyLen = 0, maxValueLen = 0;
    if (RegQueryInfoKeyW(FKey, nullptr, nullptr, nullptr, nullptr, &maxKeyLen, nullptr, nullptr,
                         &maxValueLen, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      return false;
    std::vector<wchar_t> buffer((keys ? maxKeyLen : maxValueLen) + 2);
    for (DWORD index = 0;; ++index) {
      DWORD len = static_cast<DWORD>(buffer.size());
      LONG rc = keys ? RegEnumKeyExW(FKey, index, buffer.data(), &len, nullptr, nullptr, nullptr, nullptr)
                     : RegEnumValueW(FKey, index, buffer.data(), &len, nullptr, nullptr, nullptr, nullptr);
      if (rc == ERROR_NO_MORE_ITEMS) return true;
      if (rc == ERROR_MORE_DATA) {
        // A longer name was added meanwhile: grow and retry the same index.
        buffer.resize(buffer.size() * 2 + 256);
        --index;
        continue;
      }
      if (rc != ERROR_SUCCESS) return false;
      names.emplace_back(buffer.data(), len);
    }
  }

  HKEY FKey;
};

} // namespace

std::unique_ptr<IRegKey> TWin32Registry::OpenKey(HKEY root, const std::wstring& path, TRegOpen mode) {
  std::wstring rel = RelativeRegPath(path);
  HKEY key = nullptr;
  LONG rc;
  if (mode == TRegOpen::Create)
    rc = RegCreateKeyExW(root, rel.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
  else
    rc = RegOpenKeyExW(root, rel.c_str(), 0, mode == TRegOpen::ReadOnly ? KEY_READ : KEY_READ | KEY_WRITE, &key);
  if (rc != ERROR_SUCCESS) return nullptr;
  return std::make_unique<TWin32RegKey>(key);
}

bool TWin32Registry::DeleteKey(HKEY root, const std::wstring& path) {
  std::wstring rel = RelativeRegPath(path);
  if (rel.empty()) return false;
  return RegDeleteTreeW(root, rel.c_str()) == ERROR_SUCCESS;
}

} // namespace Quillmend
