// The package and palette caches switched off: only where the user set
// "QuillmendDisablePackageCache" (each kind of registry value read the
// host's way), and then neither read nor written.
#include <gtest/gtest.h>

#include <cstring>

#include "DesignerStandIns.h"
#include "Patches/DesignerShell/DisablePackageCache.h"

namespace {

const wchar_t* const PackageCache = L"IDE.DisablePackageCache";

struct TSettingCase {
  const char* Name;
  DWORD Type;  // REG_NONE: no value
  std::vector<uint8_t> Data;
  bool Expected;
};

std::vector<uint8_t> Text(const wchar_t* text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text);
  return std::vector<uint8_t>(bytes, bytes + (wcslen(text) + 1) * sizeof(wchar_t));
}
std::vector<uint8_t> Dword(uint32_t value) {
  return {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
}

const TSettingCase SettingCases[] = {
    {"string 1", REG_SZ, Text(L"1"), true},
    {"string 0", REG_SZ, Text(L"0"), false},
    {"string x", REG_SZ, Text(L"x"), false},
    {"string empty", REG_SZ, Text(L""), false},
    {"string -1", REG_SZ, Text(L"-1"), true},
    {"string $10", REG_SZ, Text(L"$10"), true},
    {"string 0x0", REG_SZ, Text(L"0x0"), false},
    {"string blanks 7", REG_SZ, Text(L"  7"), true},
    {"string 1x", REG_SZ, Text(L"1x"), false},
    {"string true", REG_SZ, Text(L"true"), false},
    {"string $FFFFFFFF", REG_SZ, Text(L"$FFFFFFFF"), true},
    {"string 2147483648", REG_SZ, Text(L"2147483648"), false},
    {"string -2147483648", REG_SZ, Text(L"-2147483648"), true},
    {"integer 1", REG_DWORD, Dword(1), true},
    {"integer 0", REG_DWORD, Dword(0), false},
    {"integer high bit", REG_DWORD, Dword(0x80000000u), true},
    {"binary 01", REG_BINARY, {1}, true},
    {"binary 00 01", REG_BINARY, {0, 1}, false},
    {"binary empty", REG_BINARY, {}, false},
    {"missing value", REG_NONE, {}, false},
};

TEST(DesignerPackageCache, EachKindOfValueReadTheHostsWay) {
  for (const TSettingCase& c : SettingCases) {
    SCOPED_TRACE(c.Name);
    DesignerStandIns::SetPackageCacheValue(c.Type, c.Data.data(), DWORD(c.Data.size()));
    EXPECT_EQ(Quillmend::PackageCacheDisabledSetting(DesignerStandIns::TestBaseKey()), c.Expected);
    // The key as the IDE gives it, with its leading backslash, or without.
    EXPECT_EQ(Quillmend::PackageCacheDisabledSetting(DesignerStandIns::TestBaseKey().substr(1)), c.Expected);
  }
  EXPECT_FALSE(Quillmend::PackageCacheDisabledSetting(DesignerStandIns::TestBaseKey() + L"\\Missing"));
}

TEST(DesignerPackageCache, TheBaseKeyComesFromTheIdesServices) {
  DesignerStandIns::Load();  // the key comes back as a host string
  DesignerStandIns::UseIdeServices(true);
  EXPECT_EQ(Quillmend::IdeBaseRegistryKey(), DesignerStandIns::TestBaseKey());
  DesignerStandIns::UseIdeServices(false);
  EXPECT_EQ(Quillmend::IdeBaseRegistryKey(), L"");
}

TEST(DesignerPackageCache, UnpatchedTheCachesAreReadAndWritten) {
  DesignerStandIns::Load();
  EXPECT_EQ(DesignerStandIns::UseCaches(), "reads=2 writes=2");
}

TEST(DesignerPackageCache, SwitchedOffTheCachesAreNeitherReadNorWritten) {
  DesignerStandIns::Load();
  DesignerStandIns::Install();
  ASSERT_EQ(DesignerStandIns::Status(PackageCache), L"applied") << DesignerStandIns::Reasons();
  EXPECT_EQ(DesignerStandIns::UseCaches(), "reads=0 writes=0");
}

struct TOffCase {
  const char* Name;
  bool Services;
  const wchar_t* Value;  // null: no value
};

const TOffCase OffCases[] = {
    {"value 0", true, L"0"},
    {"no value", true, nullptr},
    {"no IDE services", false, L"1"},
};

class DesignerPackageCacheOff : public testing::TestWithParam<TOffCase> {};

TEST_P(DesignerPackageCacheOff, IgnoredAndTheCachesWorkAsBefore) {
  const TOffCase& c = GetParam();
  DesignerStandIns::Load();
  if (c.Value)
    DesignerStandIns::SetPackageCacheValue(REG_SZ, c.Value, DWORD((wcslen(c.Value) + 1) * sizeof(wchar_t)));
  else
    DesignerStandIns::SetPackageCacheValue(REG_NONE, nullptr, 0);
  DesignerStandIns::UseIdeServices(c.Services);
  DesignerStandIns::Install();
  EXPECT_EQ(DesignerStandIns::Status(PackageCache), L"ignored");
  EXPECT_EQ(DesignerStandIns::UseCaches(), "reads=2 writes=2");
}

INSTANTIATE_TEST_SUITE_P(Settings, DesignerPackageCacheOff, testing::ValuesIn(OffCases),
                         [](const testing::TestParamInfo<TOffCase>& info) {
                           std::string name;
                           for (const char* p = info.param.Name; *p; ++p) name += isalnum(*p) ? *p : '_';
                           return name;
                         });

} // namespace
