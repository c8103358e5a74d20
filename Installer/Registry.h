// Registry access for the installer behind a small interface, so that the
// value-order work can be checked against a registry with Windows' creation-
// order semantics (Wine lists values sorted by name). Paths are relative to a
// predefined root; a leading "\" is accepted and ignored.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace Quillmend {

// One value with its registry data type and raw bytes.
struct TRegValue {
  std::wstring Name;
  DWORD Type = REG_NONE;
  std::vector<BYTE> Data;
};

class IRegKey {
public:
  virtual ~IRegKey() = default;
  // Value names in the key's enumeration order.
  virtual bool GetValueNames(std::vector<std::wstring>& names) = 0;
  virtual bool GetKeyNames(std::vector<std::wstring>& names) = 0;
  // False if the value does not exist or cannot be read.
  virtual bool ReadValue(const std::wstring& name, TRegValue& value) = 0;
  // Creates or overwrites (an existing value keeps its place in the order).
  virtual bool WriteValue(const std::wstring& name, DWORD type, const std::vector<BYTE>& data) = 0;
  virtual bool DeleteValue(const std::wstring& name) = 0;

  bool ValueExists(const std::wstring& name);
};

enum class TRegOpen { ReadOnly, ReadWrite, Create };

class IRegistry {
public:
  virtual ~IRegistry() = default;
  // Null if the key does not exist (ReadOnly/ReadWrite) or cannot be opened or created.
  virtual std::unique_ptr<IRegKey> OpenKey(HKEY root, const std::wstring& path, TRegOpen mode) = 0;
  // Deletes the key with all its sub-keys; false if it did not exist or could not be deleted.
  virtual bool DeleteKey(HKEY root, const std::wstring& path) = 0;
};

// REG_SZ / REG_EXPAND_SZ data as text (up to the first terminating zero).
bool IsStringType(DWORD type);
std::wstring RegDataAsString(const TRegValue& value);
// Text as REG_SZ data, with its terminating zero.
std::vector<BYTE> RegStringData(const std::wstring& text);

// Reads a string value; false if the key or value is missing or not a string.
bool ReadRegString(IRegistry& registry, HKEY root, const std::wstring& key, const std::wstring& name,
                   std::wstring& text);

// Reads Key + "\Globals" / Name as a Boolean: a string is true when its number
// (default when not numeric) is non-zero, an integer when non-zero, binary data
// when its first byte is non-zero; missing key or value or other types: def.
bool ReadRegBool(IRegistry& registry, HKEY root, const std::wstring& key, const std::wstring& name,
                 bool def);
// Opens the key, creating it (and its parents) if needed; raises when it
// cannot be created: whoever asks for a created key means to write there, and
// skipping the write would report a registration that never happened.
std::unique_ptr<IRegKey> CreateRegKey(IRegistry& registry, HKEY root, const std::wstring& key);
// Writes a REG_SZ value, creating the key; raises when the key cannot be
// created or the value cannot be written.
void WriteRegString(IRegistry& registry, HKEY root, const std::wstring& key, const std::wstring& name,
                    const std::wstring& value);
// Deletes a value if key and value exist.
void DeleteRegValue(IRegistry& registry, HKEY root, const std::wstring& key, const std::wstring& name);

// The path without a leading "\".
std::wstring RelativeRegPath(const std::wstring& path);

} // namespace Quillmend
