// The shipped library's splash progress in the stand-in IDE: loaded as the
// start-up package and the expert, it counts the design packages bds.exe
// loads after the experts (a constructor that raises included) and the
// splash form's label reaches 100% before the splash closes.
#include "Tests/Support/IdeRun.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

std::wstring Fixture(const std::wstring& name) { return BuildDirectory() + L"\\testhost-fixtures\\" + name; }

TIdeRun RunWithSplash(const std::wstring& name, const std::vector<std::wstring>& arguments) {
  const std::wstring directory = BuildDirectory() + L"\\Testing\\Framework-" + name;
  CreateDirectoryW((BuildDirectory() + L"\\Testing").c_str(), nullptr);
  CreateDirectoryW(directory.c_str(), nullptr);
  TIdeSetup setup;
  setup.Name = name;
  setup.Suite = L"Framework";
  setup.Library = BuildDirectory() + L"\\out\\Quillmend.dll";
  setup.DesignPackages = {{Fixture(L"pkgA_Base.bpl"), L"First"},
                          {Fixture(L"pkgF_Second.bpl"), L"Second"},
                          {directory + L"\\splashC_missing.bpl", L"Listed without a file"}};
  setup.Arguments = arguments;
  TIdeRun run = RunIde(setup);
  EXPECT_EQ(run.ExitCode, 0u);
  EXPECT_TRUE(run.Saw(L"SHUTDOWN"));
  EXPECT_EQ(run.Lines(L"EXCEPTION ").size(), 1u) << "the missing package's constructor raised";
  return run;
}

TEST(SplashShipped, TheLabelReachesAHundredBeforeTheSplashCloses) {
  TIdeRun run = RunWithSplash(L"SplashProgress", {L"-splash"});
  EXPECT_EQ(run.Lines(L"SPLASH-CLOSE "), std::vector<std::wstring>{L"labels=1 caption=Quillmend XE 5.7\r\n100%"});
}

TEST(SplashShipped, WithoutASplashNothingIsShownAndTheStartIsUnchanged) {
  TIdeRun run = RunWithSplash(L"SplashNone", {});
  EXPECT_TRUE(run.Lines(L"SPLASH-CLOSE ").empty());
  EXPECT_EQ(run.Lines(L"DESIGN-PACKAGE ").size(), 3u);
}

}  // namespace
