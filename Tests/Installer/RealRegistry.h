// Direct Win32 registry access for the end-to-end tests (independent of the
// installer's own registry code). Paths are below HKEY_CURRENT_USER.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace QuillmendTest {

struct TRawValue {
  DWORD Type = REG_NONE;
  std::vector<BYTE> Data;
  bool operator==(const TRawValue& o) const { return Type == o.Type && Data == o.Data; }
};

// "<key path>|<value name>" (and "<key path>|" for each key) -> value.
using TRegistryDump = std::map<std::wstring, TRawValue>;

bool KeyExists(const std::wstring& path);
bool ReadValue(const std::wstring& path, const std::wstring& name, TRawValue& value);
bool ValueExists(const std::wstring& path, const std::wstring& name);
std::wstring ReadString(const std::wstring& path, const std::wstring& name);  // "<missing>" if absent
std::vector<std::wstring> ValueNames(const std::wstring& path);
std::vector<std::wstring> SubKeyNames(const std::wstring& path);
void WriteValue(const std::wstring& path, const std::wstring& name, DWORD type, const std::vector<BYTE>& data);
void WriteString(const std::wstring& path, const std::wstring& name, const std::wstring& text);
void WriteDword(const std::wstring& path, const std::wstring& name, DWORD value);
void DeleteTree(const std::wstring& path);
TRegistryDump DumpTree(const std::wstring& path);
// Puts a dumped tree back exactly (the tree at path is replaced).
void RestoreTree(const std::wstring& path, const TRegistryDump& dump);

} // namespace QuillmendTest
