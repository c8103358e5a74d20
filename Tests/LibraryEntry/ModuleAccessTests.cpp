// Run-time access to the IDE's modules. The probe modules stand in for
// "dcc150.dll" and "bccide.dll" in a directory the tests add to the search path.
#include "Framework/IDEHooks.h"
#include "TestPaths.h"

#include <gtest/gtest.h>
#include <string>
#include <windows.h>

using namespace Quillmend;

namespace {

std::wstring FixtureDirectory() { return ProgramDirectory() + L"\\LibraryEntryFixtures"; }

}  // namespace

TEST(ModuleAccess, GetDccHandleRetriesAfterAFailedLoadThenLoadsOnce) {
  ASSERT_EQ(GetModuleHandleW(L"dcc150.dll"), nullptr);
  EXPECT_EQ(GetDccHandle(), nullptr);  // not found: not remembered as a failure

  ASSERT_TRUE(SetDllDirectoryW(FixtureDirectory().c_str()));
  HMODULE dcc = GetDccHandle();
  ASSERT_NE(dcc, nullptr);
  EXPECT_EQ(GetDccHandle(), dcc);
  EXPECT_EQ(GetModuleHandleW(L"dcc150.dll"), dcc);
  // One reference was taken in all: releasing it once unloads the module.
  FreeLibrary(dcc);
  EXPECT_EQ(GetModuleHandleW(L"dcc150.dll"), nullptr);
}

TEST(ModuleAccess, DbgStrictGetProcAddressAnswersNullForAMissingExport) {
  HMODULE probe = LoadLibraryW((FixtureDirectory() + L"\\bccide.dll").c_str());
  ASSERT_NE(probe, nullptr);
  EXPECT_NE(DbgStrictGetProcAddress(probe, "Probe"), nullptr);
  EXPECT_EQ(DbgStrictGetProcAddress(probe, "CppLoadCompiler"), nullptr);
  EXPECT_EQ(DbgStrictGetProcAddress(probe, "probe"), nullptr);  // names are exact
  FreeLibrary(probe);
}
