// ReadRegBool's reading of the "Globals" value in its various data types, the
// string helpers that must neither create nor touch what is not there, and
// what the Win32 registry stores for them.
#include "InstallerError.h"
#include "MemoryRegistry.h"
#include "Win32Registry.h"

#include <gtest/gtest.h>

using namespace QuillmendTest;

namespace {

const std::wstring Root = L"\\Software\\Embarcadero\\BDS\\8.0";
const std::wstring Globals = L"Software\\Embarcadero\\BDS\\8.0\\Globals";
const std::wstring Name = L"QuillmendDisablePackageCache";

struct TBoolCase {
  DWORD Type;
  std::vector<BYTE> Data;
  bool Default;
  bool Expected;
};

} // namespace

TEST(InstallerRegistryHelpers, ReadRegBoolByDataType) {
  auto text = [](const wchar_t* s) { return RegStringData(s); };
  const TBoolCase cases[] = {
      {REG_SZ, text(L"1"), false, true},
      {REG_SZ, text(L"0"), true, false},
      {REG_SZ, text(L"-3"), false, true},
      {REG_SZ, text(L"yes"), false, false},  // not a number: the default
      {REG_SZ, text(L"yes"), true, true},
      {REG_SZ, text(L""), true, true},
      {REG_EXPAND_SZ, text(L"$10"), false, true},
      {REG_DWORD, {0, 0, 0, 0}, true, false},
      {REG_DWORD, {0, 1, 0, 0}, false, true},
      {REG_BINARY, {1, 0}, false, true},
      {REG_BINARY, {0, 1}, true, false},  // only the first byte counts
      {REG_BINARY, {}, true, false},
      {REG_MULTI_SZ, text(L"1"), false, false},  // other types: the default
      {REG_MULTI_SZ, text(L"0"), true, true},
  };
  for (const TBoolCase& c : cases) {
    TMemoryRegistry reg;
    reg.Put(Globals, Name, c.Type, c.Data);
    EXPECT_EQ(ReadRegBool(reg, HKEY_CURRENT_USER, Root, Name, c.Default), c.Expected)
        << "type " << c.Type << ", " << c.Data.size() << " bytes, default " << c.Default;
  }
  TMemoryRegistry empty;
  EXPECT_TRUE(ReadRegBool(empty, HKEY_CURRENT_USER, Root, Name, true));  // no key
  empty.PutString(Globals, L"Other", L"0");
  EXPECT_TRUE(ReadRegBool(empty, HKEY_CURRENT_USER, Root, Name, true));  // no value
}

TEST(InstallerRegistryHelpers, WriteCreatesTheKeyDeleteLeavesMissingKeysAlone) {
  TMemoryRegistry reg;
  DeleteRegValue(reg, HKEY_CURRENT_USER, Globals, Name);
  EXPECT_FALSE(reg.OpenKey(HKEY_CURRENT_USER, Globals, TRegOpen::ReadOnly));
  EXPECT_EQ(reg.ChangeCount(), 0);

  WriteRegString(reg, HKEY_CURRENT_USER, L"\\" + Globals, Name, L"1");
  ASSERT_EQ(reg.Values(Globals).size(), 1u);
  EXPECT_EQ(reg.Values(Globals)[0].Type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(RegDataAsString(reg.Values(Globals)[0]), L"1");

  reg.PutString(Globals, L"Other", L"kept");
  DeleteRegValue(reg, HKEY_CURRENT_USER, Globals, Name);
  ASSERT_EQ(reg.Values(Globals).size(), 1u);
  EXPECT_EQ(reg.Values(Globals)[0].Name, L"Other");
}

// A registry in which no key can be created (a policy or a full hive).
class TNoNewKeysRegistry : public TMemoryRegistry {
public:
  std::unique_ptr<IRegKey> OpenKey(HKEY root, const std::wstring& path, TRegOpen mode) override {
    return TMemoryRegistry::OpenKey(root, path, mode == TRegOpen::Create ? TRegOpen::ReadWrite : mode);
  }
};

TEST(InstallerRegistryHelpers, CreatingAndWritingRaiseWhenTheKeyCannotBeCreated) {
  TNoNewKeysRegistry reg;
  try {
    CreateRegKey(reg, HKEY_CURRENT_USER, Globals);
    ADD_FAILURE() << "no exception";
  } catch (const EInstallerError& e) {
    EXPECT_EQ(e.Message(), L"Cannot create registry key \"" + Globals + L"\"");
  }
  EXPECT_THROW(WriteRegString(reg, HKEY_CURRENT_USER, Globals, Name, L"1"), EInstallerError);
  EXPECT_FALSE(reg.OpenKey(HKEY_CURRENT_USER, Globals, TRegOpen::ReadOnly));

  reg.PutString(Globals, L"Other", L"kept");
  WriteRegString(reg, HKEY_CURRENT_USER, Globals, Name, L"1");  // an existing key still takes the value
  EXPECT_EQ(reg.Values(Globals).size(), 2u);

  reg.FailChange(reg.ChangeCount());
  EXPECT_THROW(WriteRegString(reg, HKEY_CURRENT_USER, Globals, Name, L"0"), EInstallerError);
}

// The same helpers on the real registry (a key of the tests' own, outside
// the IDE roots the end-to-end tests compare).
TEST(InstallerWin32Registry, StringsKeepTheirTerminatingZeroAndKeysGoWithTheirSubKeys) {
  const std::wstring key = L"Software\\QuillmendTest\\InstallerWin32Registry";
  RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
  TWin32Registry reg;
  const std::pair<const wchar_t*, std::vector<BYTE>> strings[] = {
      {L"1", {0x31, 0, 0, 0}},
      {L"", {0, 0}},
      {L"\u00C4b", {0xC4, 0, 0x62, 0, 0, 0}},
  };
  for (const auto& s : strings) {
    WriteRegString(reg, HKEY_CURRENT_USER, key + L"\\New", L"Value", s.first);
    BYTE stored[16];
    DWORD type = 0, size = sizeof stored;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, (key + L"\\New").c_str(), L"Value", RRF_RT_ANY | RRF_NOEXPAND, &type,
                           stored, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::vector<BYTE>(stored, stored + size), s.second) << testing::PrintToString(std::wstring(s.first));
  }

  WriteRegString(reg, HKEY_CURRENT_USER, key + L"\\New\\Sub\\Deeper", L"Value", L"x");
  EXPECT_TRUE(reg.DeleteKey(HKEY_CURRENT_USER, key + L"\\New"));
  EXPECT_FALSE(reg.OpenKey(HKEY_CURRENT_USER, key + L"\\New", TRegOpen::ReadOnly));
  EXPECT_FALSE(reg.DeleteKey(HKEY_CURRENT_USER, key + L"\\New"));
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\QuillmendTest");
}
