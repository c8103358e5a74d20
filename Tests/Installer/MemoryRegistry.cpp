#include "MemoryRegistry.h"

#include "StringUtils.h"

#include <algorithm>

namespace QuillmendTest {

namespace {

class TMemoryKey : public IRegKey {
public:
  TMemoryKey(TMemoryRegistry& registry, TMemoryRegistry::TKey& key, bool writable)
      : FRegistry(registry), FKey(key), FWritable(writable) {}

  bool GetValueNames(std::vector<std::wstring>& names) override {
    names.clear();
    for (const TRegValue& v : FKey.Values) names.push_back(v.Name);
    return true;
  }
  bool GetKeyNames(std::vector<std::wstring>& names) override {
    names.clear();
    for (const auto& k : FKey.SubKeys) names.push_back(k.first);
    return true;
  }
  bool ReadValue(const std::wstring& name, TRegValue& value) override {
    auto v = Find(name);
    if (v == FKey.Values.end()) return false;
    value = *v;
    return true;
  }
  bool WriteValue(const std::wstring& name, DWORD type, const std::vector<BYTE>& data) override {
    if (!FWritable || !FRegistry.CountChange()) return false;
    auto v = Find(name);
    if (v == FKey.Values.end()) v = FKey.Values.insert(FKey.Values.end(), TRegValue{name, REG_NONE, {}});
    v->Type = type;
    v->Data = data;
    return true;
  }
  bool DeleteValue(const std::wstring& name) override {
    if (!FWritable || !FRegistry.CountChange()) return false;
    auto v = Find(name);
    if (v == FKey.Values.end()) return false;
    FKey.Values.erase(v);
    return true;
  }

private:
  std::vector<TRegValue>::iterator Find(const std::wstring& name) {
    return std::find_if(FKey.Values.begin(), FKey.Values.end(),
                        [&](const TRegValue& v) { return SameText(v.Name, name); });
  }

  TMemoryRegistry& FRegistry;
  TMemoryRegistry::TKey& FKey;
  bool FWritable;
};

std::vector<std::wstring> SplitPath(const std::wstring& path) {
  std::vector<std::wstring> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(L'\\', start);
    if (end == std::wstring::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

} // namespace

TMemoryRegistry::TKey* TMemoryRegistry::Find(HKEY root, const std::wstring& path, bool create) {
  TKey* key = &FRoots[root];
  for (const std::wstring& part : SplitPath(path)) {
    auto sub = std::find_if(key->SubKeys.begin(), key->SubKeys.end(),
                            [&](const auto& k) { return SameText(k.first, part); });
    if (sub == key->SubKeys.end()) {
      if (!create) return nullptr;
      key->SubKeys.emplace_back(part, std::make_unique<TKey>());
      sub = key->SubKeys.end() - 1;
    }
    key = sub->second.get();
  }
  return key;
}

std::unique_ptr<IRegKey> TMemoryRegistry::OpenKey(HKEY root, const std::wstring& path, TRegOpen mode) {
  TKey* key = Find(root, path, mode == TRegOpen::Create);
  if (!key) return nullptr;
  return std::make_unique<TMemoryKey>(*this, *key, mode != TRegOpen::ReadOnly);
}

bool TMemoryRegistry::DeleteKey(HKEY root, const std::wstring& path) {
  std::vector<std::wstring> parts = SplitPath(path);
  if (parts.empty()) return false;
  std::wstring name = parts.back();
  parts.pop_back();
  std::wstring parentPath;
  for (const std::wstring& p : parts) parentPath += p + L"\\";
  TKey* parent = Find(root, parentPath, false);
  if (!parent || !CountChange()) return false;
  auto sub = std::find_if(parent->SubKeys.begin(), parent->SubKeys.end(),
                          [&](const auto& k) { return SameText(k.first, name); });
  if (sub == parent->SubKeys.end()) return false;
  parent->SubKeys.erase(sub);
  return true;
}

void TMemoryRegistry::Put(const std::wstring& path, const std::wstring& name, DWORD type,
                          const std::vector<BYTE>& data) {
  TKey* key = Find(HKEY_CURRENT_USER, path, true);
  key->Values.push_back(TRegValue{name, type, data});
}

void TMemoryRegistry::PutString(const std::wstring& path, const std::wstring& name, const std::wstring& text) {
  Put(path, name, REG_SZ, RegStringData(text));
}

std::vector<TRegValue> TMemoryRegistry::Values(const std::wstring& path) {
  TKey* key = Find(HKEY_CURRENT_USER, path, false);
  return key ? key->Values : std::vector<TRegValue>();
}

} // namespace QuillmendTest
