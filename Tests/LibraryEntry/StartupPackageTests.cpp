// The start-up package's exports, called in-process the host's way
// (register convention); failures come back as host exceptions.
#include "Framework/HostAbi.h"

#include "TestHost/Common/HostGuard.h"
#include "TestHost/Common/HostRtl.h"
#include "TestPaths.h"

#include <gtest/gtest.h>
#include <string>
#include <windows.h>

namespace {

// A function too short to hold a 5-byte jump: a lone RET.
const unsigned char TinyFunction[] = {0xC3, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC};

void* Export(HMODULE module, const char* name) { return reinterpret_cast<void*>(GetProcAddress(module, name)); }

}  // namespace

TEST(StartupPackage, ExportsTheEngineInTheHostsConventionBehindTheErrorBoundary) {
  ASSERT_TRUE(LoadLibraryW((BuildDirectory() + L"\\host\\rtl150.bpl").c_str()));
  const QmHost::HostRtl* rtl = QmHost::LoadedHostRtl();
  ASSERT_NE(rtl, nullptr);
  // Loaded as a plain module: its "Initialize" (which loads Quillmend.dll) is not called.
  HMODULE package = LoadLibraryW((BuildDirectory() + L"\\out\\QuillmendStartup.bpl").c_str());
  ASSERT_NE(package, nullptr);
  ASSERT_NE(GetProcAddress(package, "Initialize"), nullptr);
  ASSERT_NE(GetProcAddress(package, "Finalize"), nullptr);
  ASSERT_NE(FindResourceW(package, L"PACKAGEINFO", MAKEINTRESOURCEW(10)), nullptr);  // RT_RCDATA

  using TGetProc = void*(QM_REGISTER*)(HMODULE, const char*);
  auto getProc = reinterpret_cast<TGetProc>(Export(package, "@Idehooks@DbgStrictGetProcAddress$qqruipxc"));
  ASSERT_NE(getProc, nullptr);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  EXPECT_EQ(getProc(kernel, "GetTickCount"), reinterpret_cast<void*>(GetProcAddress(kernel, "GetTickCount")));

  using TStartCodeSize = int32_t(QM_REGISTER*)(const void*, int32_t);
  auto startCodeSize = reinterpret_cast<TStartCodeSize>(Export(package, "@Hooking@GetStartCodeSize$qqrpvi"));
  ASSERT_NE(startCodeSize, nullptr);
  QmHost::HostExceptionReport report;
  EXPECT_FALSE(QmHost::CallHostGuarded([&] { startCodeSize(TinyFunction, 5); }, report, rtl));
  EXPECT_EQ(report.Text(), L"Exception: Function is too small");
}

TEST(StartupPackage, InitializeLoadsTheLibraryBesideThePackageAndPinsThePackage) {
  // A fresh directory that is not on the search path, holding the package
  // and a stand-in Quillmend.dll; a bare-name load would find another copy
  // of it in the fixture directory first.
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring dir = std::wstring(temp) + L"QmStartupInitialize";
  const std::wstring package = dir + L"\\QuillmendStartup.bpl", library = dir + L"\\Quillmend.dll";
  const std::wstring fixtures = ProgramDirectory() + L"\\LibraryEntryFixtures";
  DeleteFileW(package.c_str());  // left mapped, so left behind, by an earlier run
  DeleteFileW(library.c_str());
  CreateDirectoryW(dir.c_str(), nullptr);
  ASSERT_TRUE(CopyFileW((BuildDirectory() + L"\\out\\QuillmendStartup.bpl").c_str(), package.c_str(), FALSE));
  ASSERT_TRUE(CopyFileW((fixtures + L"\\Quillmend.dll").c_str(), library.c_str(), FALSE));
  ASSERT_TRUE(SetDllDirectoryW(fixtures.c_str()));

  HMODULE module = LoadLibraryW(package.c_str());
  ASSERT_NE(module, nullptr);
  auto initialize = reinterpret_cast<void(__stdcall*)()>(Export(module, "Initialize"));
  ASSERT_NE(initialize, nullptr);
  initialize();

  HMODULE loaded = GetModuleHandleW(L"Quillmend.dll");
  ASSERT_NE(loaded, nullptr);
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(loaded, path, MAX_PATH);
  EXPECT_EQ(lstrcmpiW(path, library.c_str()), 0) << "loaded " << testing::PrintToString(std::wstring(path));
  // The package took a reference of its own: one release does not unmap it.
  FreeLibrary(module);
  EXPECT_EQ(GetModuleHandleW(package.c_str()), module);
}
