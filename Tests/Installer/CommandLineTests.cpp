// Splitting the command line into parameters and reading them.
#include "CommandLine.h"

#include <gtest/gtest.h>

using namespace Quillmend;

TEST(InstallerCommandLine, SplitsLikeTheProgramParameters) {
  using V = std::vector<std::wstring>;
  EXPECT_EQ(SplitCommandLine(L"\"C:\\Program Files\\QuillmendRegXE.exe\" /INSTALL \"/R MYKEY\"  /Rmykey"),
            (V{L"/INSTALL", L"/R MYKEY", L"/Rmykey"}));
  EXPECT_EQ(SplitCommandLine(L"x.exe a\"b c\"d \"\" \t-r"), (V{L"ab cd", L"", L"-r"}));
  EXPECT_EQ(SplitCommandLine(L"x.exe \"/Rkey with \\\"end"), (V{L"/Rkey with \\end"}));
  EXPECT_TRUE(SplitCommandLine(L"x.exe   ").empty());
  EXPECT_TRUE(SplitCommandLine(nullptr).empty());
}

TEST(InstallerCommandLine, SelectedKeysAreSortedWithoutDuplicatesIgnoringCase) {
  TCommandLineRequest r =
      ParseCommandLine({L"/rZeta", L"/R MYKEY", L"-rmykey", L"-r", L"/R   ", L"/DEFAULTREGKEY", L"--defaultregkey", L"-R Alpha "});
  EXPECT_TRUE(r.Error.empty());
  EXPECT_EQ(r.SelectedKeys, (std::vector<std::wstring>{L"Alpha", L"BDS", L"MYKEY", L"Zeta"}));
  EXPECT_EQ(r.Mode, TInstallMode::None);
}

TEST(InstallerCommandLine, OptionsAndWhereTheScanEnds) {
  // The last option wins; blanks around sign and name do not matter.
  EXPECT_EQ(ParseCommandLine({L"/O+DisablePackageCache", L"-o - disablepackagecache "}).DisablePackageCache, 0);
  EXPECT_EQ(ParseCommandLine({L"/INSTALL", L"/INSTALL"}).Error, L"/INSTALL can't be used with /UNINSTALL ");
  // The first error ends the scan; help ends it at once.
  TCommandLineRequest r = ParseCommandLine({L"/x", L"/?"});
  EXPECT_EQ(r.Error, L"Unknown command line parameter \"/x\"");
  EXPECT_FALSE(r.ShowHelp);
  r = ParseCommandLine({L"/INSTALL", L"-H", L"/x"});
  EXPECT_TRUE(r.ShowHelp);
  EXPECT_TRUE(r.Error.empty());
}

TEST(InstallerCommandLine, ParametersAndOptionsMatchWholeWordsOnly) {
  for (const wchar_t* param : {L"/INSTALLX", L"--installs", L"/UNINSTALL2", L"/EXTRACTED", L"/DEFAULTREGKEYS", L"-hx",
                               L"/??", L"--helpme"}) {
    TCommandLineRequest r = ParseCommandLine({param});
    EXPECT_EQ(r.Error, L"Unknown command line parameter \"" + std::wstring(param) + L"\"");
    EXPECT_FALSE(r.ShowHelp) << testing::PrintToString(std::wstring(param));
    EXPECT_EQ(r.Mode, TInstallMode::None) << testing::PrintToString(std::wstring(param));
    EXPECT_TRUE(r.SelectedKeys.empty()) << testing::PrintToString(std::wstring(param));
  }
  for (const wchar_t* option : {L"/O+DisablePackageCacheX", L"-o-DisablePackageCach", L"/O+Disable PackageCache"}) {
    TCommandLineRequest r = ParseCommandLine({option});
    EXPECT_EQ(r.Error, L"Unknown option: \"" + std::wstring(option) + L"\"");
    EXPECT_EQ(r.DisablePackageCache, -1) << testing::PrintToString(std::wstring(option));
  }
}
