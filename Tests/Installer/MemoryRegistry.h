// An in-memory registry with Windows' value semantics: values enumerate in
// creation order, overwriting keeps a value's place, names compare without
// case. One chosen write or delete can be made to fail.
#pragma once

#include "Registry.h"

#include <map>

namespace QuillmendTest {

using namespace Quillmend;

class TMemoryRegistry : public IRegistry {
public:
  struct TKey {
    std::vector<TRegValue> Values;
    std::vector<std::pair<std::wstring, std::unique_ptr<TKey>>> SubKeys;
  };

  std::unique_ptr<IRegKey> OpenKey(HKEY root, const std::wstring& path, TRegOpen mode) override;
  bool DeleteKey(HKEY root, const std::wstring& path) override;

  // The write or delete with this (zero-based) number fails; -1: none.
  void FailChange(int n) { FailAt = n; }
  int ChangeCount() const { return Changes; }
  // Counts a change; false if it is the one to fail.
  bool CountChange() { return Changes++ != FailAt; }

  // Test conveniences (keys created as needed).
  void Put(const std::wstring& path, const std::wstring& name, DWORD type, const std::vector<BYTE>& data);
  void PutString(const std::wstring& path, const std::wstring& name, const std::wstring& text);
  std::vector<TRegValue> Values(const std::wstring& path);

private:
  TKey* Find(HKEY root, const std::wstring& path, bool create);

  std::map<HKEY, TKey> FRoots;
  int FailAt = -1;
  int Changes = 0;
};

} // namespace QuillmendTest
