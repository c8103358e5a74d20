// QuillmendRegXE.exe run for real under Wine against prepared IDE registry
// roots. Every test runs a copy of the installer from a directory of its own
// and reads the dialogs it showed from its log (QUILLMEND_INSTALLER_LOG).
// The tests share HKCU\Software\Embarcadero and the experts directory, so
// CTest runs them one at a time (RESOURCE_LOCK); the BDS root is put back.
#include "RealRegistry.h"
#include "TestFiles.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <iterator>
#include <string>

using namespace QuillmendTest;

namespace {

const std::wstring Embarcadero = L"Software\\Embarcadero";
const std::wstring BdsRoot = L"Software\\Embarcadero\\BDS";
const std::wstring TestRootPrefix = L"QmInstallerTest";

std::wstring WinPath(const char* unixPath) {
  std::wstring path = L"Z:";
  for (const char* p = unixPath; *p; ++p) path += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
  return path;
}

std::wstring Root(const std::wstring& key) { return Embarcadero + L"\\" + key + L"\\8.0"; }

// HKCU\Software\Embarcadero as these tests see it: without the roots
// "QmTest-*" that other test programs (runs of the stand-in IDE) make and
// remove beside it while these tests run. Comparing them too made a test
// fail whenever such a run started or ended between two dumps.
TRegistryDump DumpIdeRoots() {
  const std::wstring foreign = Embarcadero + L"\\QmTest-";
  TRegistryDump dump = DumpTree(Embarcadero);
  for (auto entry = dump.begin(); entry != dump.end();)
    entry = entry->first.compare(0, foreign.size(), foreign) == 0 ? dump.erase(entry) : std::next(entry);
  return dump;
}

std::wstring ExpertsDir() {
  wchar_t path[MAX_PATH];
  SHGetSpecialFolderPathW(nullptr, path, CSIDL_COMMON_DOCUMENTS, FALSE);
  return std::wstring(path) + L"\\RAD Studio\\8.0\\Experts";
}

bool Exists(const std::wstring& name) { return GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveDirectoryTree(const std::wstring& dir) {
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = fd.cFileName;
      if (name == L"." || name == L"..") continue;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveDirectoryTree(dir + L"\\" + name);
      else DeleteFileW((dir + L"\\" + name).c_str());
    } while (FindNextFileW(h, &fd));
    FindClose(h);
  }
  RemoveDirectoryW(dir.c_str());
}

std::wstring Utf8ToWide(const std::string& s) {
  if (s.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  return w;
}

std::vector<BYTE> Bytes(std::initializer_list<BYTE> b) { return std::vector<BYTE>(b); }

const wchar_t* const Deliverables[] = {L"Quillmend.dll", L"QuillmendStartup.bpl", L"QuillmendClr.dll"};

class InstallerRun : public testing::Test {
protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    FWorkDir = std::wstring(temp) + L"QmInstallerTest";
    RemoveDirectoryTree(FWorkDir);
    ASSERT_TRUE(CreateDirectoryW(FWorkDir.c_str(), nullptr));
    FInstaller = FWorkDir + L"\\QuillmendRegXE.exe";
    ASSERT_TRUE(CopyFileW(WinPath(QM_INSTALLER_EXE).c_str(), FInstaller.c_str(), FALSE));
    FLog = FWorkDir + L"\\installer.log";

    FSavedBds = DumpTree(BdsRoot);
    RemoveTestRoots();
    DeleteTree(BdsRoot);
    WriteString(Root(L"BDS"), L"ProductVersion", L"15");
    WriteString(Root(L"BDS"), L"RootDir", L"C:\\windows\\");
    RemoveExpertsDir();
  }

  void TearDown() override {
    RemoveTestRoots();
    RestoreTree(BdsRoot, FSavedBds);
    RemoveExpertsDir();
    RemoveDirectoryTree(FWorkDir);
  }

  static void RemoveTestRoots() {
    for (const std::wstring& key : SubKeyNames(Embarcadero))
      if (key.compare(0, TestRootPrefix.size(), TestRootPrefix) == 0) DeleteTree(Embarcadero + L"\\" + key);
  }

  static void RemoveExpertsDir() { RemoveDirectoryTree(ExpertsDir()); }

  // A listed IDE root (product version 15) with a few values of the IDE.
  static void AddRoot(const std::wstring& key, const wchar_t* version = L"15") {
    WriteString(Root(key), L"ProductVersion", version);
    WriteString(Root(key) + L"\\Known IDE Packages", L"$(BDS)\\bin\\dclstd150.bpl", L"Standard Components");
    WriteDword(Root(key) + L"\\Known IDE Packages", L"Number", 5);
    WriteValue(Root(key) + L"\\Known IDE Packages", L"Binary", REG_BINARY, Bytes({0, 1, 2}));
  }

  // Runs the installer copy with the given parameters (from its own
  // directory unless another working directory is given); returns its exit code.
  DWORD Run(const std::wstring& params, const std::wstring& workingDir = std::wstring()) {
    DeleteFileW(FLog.c_str());
    SetEnvironmentVariableW(L"QUILLMEND_INSTALLER_LOG", FLog.c_str());
    std::wstring commandLine = L"\"" + FInstaller + L"\" " + params;
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(FInstaller.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        (workingDir.empty() ? FWorkDir : workingDir).c_str(), &si, &pi)) {
      ADD_FAILURE() << "CreateProcessW failed: " << GetLastError();
      return 0xFFFFFFFF;
    }
    DWORD exitCode = 0xFFFFFFFF;
    if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) {
      ADD_FAILURE() << "the installer did not end within 60 s (a dialog waiting?)";
      TerminateProcess(pi.hProcess, 99);
      WaitForSingleObject(pi.hProcess, 5000);
    } else {
      GetExitCodeProcess(pi.hProcess, &exitCode);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return exitCode;
  }

  std::wstring Log() const { return Exists(FLog) ? Utf8ToWide(ReadFileBytes(FLog)) : std::wstring(); }

  static std::wstring ErrorRecord(const std::wstring& text) { return L"--- error: Error\n" + text + L"\n"; }

  // The deliverables in dir match the build's byte for byte and carry the
  // installer's file times.
  void ExpectDeliverablesIn(const std::wstring& dir) {
    WIN32_FILE_ATTRIBUTE_DATA installer = {};
    ASSERT_TRUE(GetFileAttributesExW(FInstaller.c_str(), GetFileExInfoStandard, &installer));
    for (const wchar_t* file : Deliverables) {
      SCOPED_TRACE(testing::Message() << file);
      std::wstring built = WinPath(QM_OUT_DIR) + L"\\" + file;
      if (!Exists(built) && std::wstring(file) == L"QuillmendClr.dll") continue;  // optional
      WIN32_FILE_ATTRIBUTE_DATA written = {};
      ASSERT_TRUE(GetFileAttributesExW((dir + L"\\" + file).c_str(), GetFileExInfoStandard, &written));
      EXPECT_EQ(CompareFileTime(&written.ftLastWriteTime, &installer.ftLastWriteTime), 0);
      EXPECT_EQ(CompareFileTime(&written.ftLastAccessTime, &installer.ftLastAccessTime), 0);
      std::string expected = ReadFileBytes(built);
      ASSERT_GT(expected.size(), 1000u);
      EXPECT_TRUE(ReadFileBytes(dir + L"\\" + file) == expected) << "contents differ";
    }
  }

  static bool IsInstalledIn(const std::wstring& key) {
    return ReadString(Root(key) + L"\\Experts", L"Quillmend") == ExpertsDir() + L"\\Quillmend.dll" &&
           ReadString(Root(key) + L"\\Known IDE Packages", StartupName()) == L"Quillmend Startup";
  }

  static bool HasAnyRegistration(const std::wstring& key) {
    return ValueExists(Root(key) + L"\\Experts", L"Quillmend") ||
           ValueExists(Root(key) + L"\\Known IDE Packages", StartupName());
  }

  static std::wstring StartupName() { return ExpertsDir() + L"\\QuillmendStartup.bpl"; }

  std::wstring FWorkDir, FInstaller, FLog;
  TRegistryDump FSavedBds;
};

} // namespace

TEST_F(InstallerRun, InstallRegistersEveryListedRootAndWritesTheDeliverables) {
  AddRoot(L"QmInstallerTestA");
  AddRoot(L"QmInstallerTest14", L"14");
  WriteString(Embarcadero + L"\\QmInstallerTestNo80\\7.0", L"ProductVersion", L"15");
  WriteString(Root(L"QmInstallerTestA") + L"\\Disabled Packages", StartupName(), L"Quillmend Startup");
  WriteString(Root(L"QmInstallerTestA") + L"\\Disabled Packages", L"c:\\other.bpl", L"Other");
  WriteString(Root(L"QmInstallerTestA") + L"\\Globals", L"QuillmendDisablePackageCache", L"1");
  WriteString(Root(L"QmInstallerTestA") + L"\\Package Cache", L"x", L"y");
  TRegistryDump unlisted = DumpTree(Embarcadero + L"\\QmInstallerTest14");
  TRegistryDump no80 = DumpTree(Embarcadero + L"\\QmInstallerTestNo80");
  TRegistryDump knownBefore = DumpTree(Root(L"QmInstallerTestA") + L"\\Known IDE Packages");

  ASSERT_EQ(Run(L"/INSTALL"), 0u);
  EXPECT_EQ(Log(), L"");
  ExpectDeliverablesIn(ExpertsDir());

  EXPECT_TRUE(IsInstalledIn(L"BDS"));
  EXPECT_TRUE(IsInstalledIn(L"QmInstallerTestA"));
  // The other packages keep type and data.
  for (const auto& entry : knownBefore) {
    TRawValue now;
    std::wstring key = entry.first.substr(0, entry.first.find(L'|'));
    std::wstring name = entry.first.substr(entry.first.find(L'|') + 1);
    if (name.empty()) continue;
    ASSERT_TRUE(ReadValue(key, name, now)) << name.c_str();
    EXPECT_TRUE(now == entry.second) << name.c_str();
  }
  EXPECT_EQ(ValueNames(Root(L"QmInstallerTestA") + L"\\Known IDE Packages").size(), 4u);
  EXPECT_FALSE(ValueExists(Root(L"QmInstallerTestA") + L"\\Disabled Packages", StartupName()));
  EXPECT_TRUE(ValueExists(Root(L"QmInstallerTestA") + L"\\Disabled Packages", L"c:\\other.bpl"));
  // The cache box was clear (BDS has no Globals value): value removed, caches left.
  EXPECT_FALSE(ValueExists(Root(L"QmInstallerTestA") + L"\\Globals", L"QuillmendDisablePackageCache"));
  EXPECT_TRUE(KeyExists(Root(L"QmInstallerTestA") + L"\\Package Cache"));
  // Other IDE versions and roots without "8.0" are not listed and not touched.
  EXPECT_EQ(DumpTree(Embarcadero + L"\\QmInstallerTest14"), unlisted);
  EXPECT_EQ(DumpTree(Embarcadero + L"\\QmInstallerTestNo80"), no80);

  // Installing again leaves one start-up value and the others as they were.
  ASSERT_EQ(Run(L"/INSTALL"), 0u);
  std::vector<std::wstring> names = ValueNames(Root(L"QmInstallerTestA") + L"\\Known IDE Packages");
  EXPECT_EQ(names.size(), 4u);
  EXPECT_EQ(std::count_if(names.begin(), names.end(),
                          [](const std::wstring& n) {
                            return ReadString(Root(L"QmInstallerTestA") + L"\\Known IDE Packages", n) == L"Quillmend Startup";
                          }),
            1);
  EXPECT_TRUE(IsInstalledIn(L"QmInstallerTestA"));
}

TEST_F(InstallerRun, RegKeyParametersSelectTheRoots) {
  AddRoot(L"QmInstallerTestMyKey");
  AddRoot(L"QmInstallerTestOther");
  ASSERT_EQ(Run(L"/INSTALL /Rqminstallertestmykey \"/R QMINSTALLERTESTMYKEY\""), 0u);
  EXPECT_TRUE(IsInstalledIn(L"QmInstallerTestMyKey"));
  EXPECT_FALSE(HasAnyRegistration(L"BDS"));
  EXPECT_FALSE(HasAnyRegistration(L"QmInstallerTestOther"));

  ASSERT_EQ(Run(L"--uninstall"), 0u);
  ASSERT_EQ(Run(L"--defaultregkey --install"), 0u);
  EXPECT_TRUE(IsInstalledIn(L"BDS"));
  EXPECT_FALSE(HasAnyRegistration(L"QmInstallerTestMyKey"));

  // "-r" alone selects nothing, so every root is checked.
  ASSERT_EQ(Run(L"/UNINSTALL"), 0u);
  ASSERT_EQ(Run(L"-r /INSTALL"), 0u);
  EXPECT_TRUE(IsInstalledIn(L"BDS"));
  EXPECT_TRUE(IsInstalledIn(L"QmInstallerTestMyKey"));
  EXPECT_TRUE(IsInstalledIn(L"QmInstallerTestOther"));
  EXPECT_EQ(Log(), L"");
}

TEST_F(InstallerRun, PackageCacheOption) {
  AddRoot(L"QmInstallerTestA");
  auto addCaches = [] {
    WriteString(Root(L"QmInstallerTestA") + L"\\Package Cache", L"pkg", L"cached");
    WriteString(Root(L"QmInstallerTestA") + L"\\Package Cache\\dclstd150", L"pkg", L"cached");  // a sub-key
    WriteString(Root(L"QmInstallerTestA") + L"\\Palette\\Cache", L"pal", L"cached");
    WriteString(Root(L"QmInstallerTestA") + L"\\Palette", L"keep", L"me");
  };
  addCaches();
  ASSERT_EQ(Run(L"/INSTALL /RQmInstallerTestA /O+DisablePackageCache"), 0u);
  EXPECT_EQ(ReadString(Root(L"QmInstallerTestA") + L"\\Globals", L"QuillmendDisablePackageCache"), L"1");
  EXPECT_FALSE(KeyExists(Root(L"QmInstallerTestA") + L"\\Package Cache"));
  EXPECT_FALSE(KeyExists(Root(L"QmInstallerTestA") + L"\\Palette\\Cache"));
  EXPECT_EQ(ReadString(Root(L"QmInstallerTestA") + L"\\Palette", L"keep"), L"me");
  EXPECT_FALSE(KeyExists(Root(L"BDS") + L"\\Globals"));  // not selected

  addCaches();
  ASSERT_EQ(Run(L"/INSTALL /RQmInstallerTestA \"-o- DisablePackageCache\""), 0u);
  EXPECT_FALSE(ValueExists(Root(L"QmInstallerTestA") + L"\\Globals", L"QuillmendDisablePackageCache"));
  EXPECT_TRUE(KeyExists(Root(L"QmInstallerTestA") + L"\\Package Cache"));
  EXPECT_TRUE(KeyExists(Root(L"QmInstallerTestA") + L"\\Palette\\Cache"));

  // Without the option the box follows the default root's Globals value.
  WriteDword(Root(L"BDS") + L"\\Globals", L"QuillmendDisablePackageCache", 1);
  ASSERT_EQ(Run(L"/INSTALL /RQmInstallerTestA"), 0u);
  EXPECT_EQ(ReadString(Root(L"QmInstallerTestA") + L"\\Globals", L"QuillmendDisablePackageCache"), L"1");
  EXPECT_FALSE(KeyExists(Root(L"QmInstallerTestA") + L"\\Package Cache"));
}

TEST_F(InstallerRun, ExtractWritesTheFilesBesideTheInstallerOnly) {
  AddRoot(L"QmInstallerTestA");
  TRegistryDump before = DumpIdeRoots();
  // Started from another working directory: the files still go beside the installer.
  const std::wstring elsewhere = FWorkDir + L"\\Elsewhere";
  ASSERT_TRUE(CreateDirectoryW(elsewhere.c_str(), nullptr));
  ASSERT_EQ(Run(L"/EXTRACT", elsewhere), 0u);
  EXPECT_EQ(Log(), L"");
  ExpectDeliverablesIn(FWorkDir + L"\\Files");
  EXPECT_FALSE(Exists(elsewhere + L"\\Files"));
  EXPECT_TRUE(RemoveDirectoryW(elsewhere.c_str())) << "something was written into the working directory";
  EXPECT_EQ(DumpIdeRoots(), before);
  EXPECT_FALSE(Exists(ExpertsDir()));
}

TEST_F(InstallerRun, UninstallClearsEveryListedRootAndKeepsGlobals) {
  AddRoot(L"QmInstallerTestA");
  AddRoot(L"QmInstallerTestB");
  ASSERT_EQ(Run(L"/INSTALL /O+DisablePackageCache"), 0u);
  WriteString(Root(L"QmInstallerTestB") + L"\\Disabled Packages", StartupName(), L"Quillmend Startup");

  // Only A is selected; uninstalling still clears every listed root.
  ASSERT_EQ(Run(L"/UNINSTALL /RQmInstallerTestA"), 0u);
  EXPECT_EQ(Log(), L"");
  for (const wchar_t* key : {L"BDS", L"QmInstallerTestA", L"QmInstallerTestB"}) {
    SCOPED_TRACE(testing::Message() << key);
    EXPECT_FALSE(HasAnyRegistration(key));
    EXPECT_FALSE(ValueExists(Root(key) + L"\\Disabled Packages", StartupName()));
    EXPECT_EQ(ReadString(Root(key) + L"\\Globals", L"QuillmendDisablePackageCache"), L"1");
    EXPECT_EQ(ValueNames(Root(key) + L"\\Known IDE Packages").size(), std::wstring(key) == L"BDS" ? 0u : 3u);
  }
  for (const wchar_t* file : Deliverables) EXPECT_FALSE(Exists(ExpertsDir() + L"\\" + file)) << file;
  EXPECT_FALSE(Exists(ExpertsDir()));

  // A start-up package of the same file name registered from elsewhere is not ours.
  const std::wstring foreign = L"D:\\Old\\QuillmendStartup.bpl";
  WriteString(Root(L"QmInstallerTestA") + L"\\Known IDE Packages", foreign, L"Quillmend Startup");
  ASSERT_EQ(Run(L"/INSTALL"), 0u);
  ASSERT_EQ(Run(L"/UNINSTALL"), 0u);
  EXPECT_FALSE(HasAnyRegistration(L"QmInstallerTestA"));
  EXPECT_EQ(ReadString(Root(L"QmInstallerTestA") + L"\\Known IDE Packages", foreign), L"Quillmend Startup");

  // With the files already gone, the registrations are still removed.
  ASSERT_EQ(Run(L"/INSTALL"), 0u);
  RemoveExpertsDir();
  ASSERT_EQ(Run(L"/UNINSTALL"), 0u);
  EXPECT_FALSE(HasAnyRegistration(L"BDS"));
  EXPECT_FALSE(HasAnyRegistration(L"QmInstallerTestA"));
}

TEST_F(InstallerRun, CommandLineErrorsChangeNothing) {
  AddRoot(L"QmInstallerTestA");
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"/INSTALL /UNINSTALL", L"/UNINSTALL can't be used with /INSTALL "},
      {L"/UNINSTALL /EXTRACT", L"/EXTRACT can't be used with /INSTALL /UNINSTALL "},
      {L"--extract --install", L"/INSTALL can't be used with /UNINSTALL "},
      {L"/INSTALL /bogus", L"Unknown command line parameter \"/bogus\""},
      {L"/INSTALL \"/O DisablePackageCache\"", L"Invalid option: \"/O DisablePackageCache\""},
      {L"/INSTALL -o+Cache", L"Unknown option: \"-o+Cache\""},
  };
  TRegistryDump before = DumpIdeRoots();
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.first);
    EXPECT_EQ(Run(c.first), 2u);
    EXPECT_EQ(Log(), ErrorRecord(std::wstring(L"Command line option error:\n\n") + c.second));
    EXPECT_EQ(DumpIdeRoots(), before);
    EXPECT_FALSE(Exists(ExpertsDir()));
  }
}

TEST_F(InstallerRun, InstallWithKeysThatNameNoListedRootChangesNothing) {
  AddRoot(L"QmInstallerTestA");
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"/INSTALL /RQmInstallerTestTypo",
       L"Registry key \"QmInstallerTestTypo\" names no listed IDE registry root; nothing was installed."},
      {L"-rQmInstallerTestZz /install -rQmInstallerTest14",
       L"Registry keys \"QmInstallerTest14\", \"QmInstallerTestZz\" name no listed IDE registry root; nothing was "
       L"installed."},
  };
  AddRoot(L"QmInstallerTest14", L"14");  // exists, but of another IDE version
  TRegistryDump before = DumpIdeRoots();
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.first);
    EXPECT_EQ(Run(c.first), 1u);
    EXPECT_EQ(Log(), ErrorRecord(c.second));
    EXPECT_EQ(DumpIdeRoots(), before);
    EXPECT_FALSE(Exists(ExpertsDir()));
  }
}

TEST_F(InstallerRun, HelpShowsTheParameters) {
  const std::wstring help =
      L"--- message: Quillmend Installer/Uninstaller\n"
      L"/INSTALL      \t--install      \tInstall Quillmend\n"
      L"/UNINSTALL    \t--uninstall    \tUninstall Quillmend\n"
      L"/EXTRACT      \t--extract      \tExtract the files without installation\n"
      L"/DEFAULTREGKEY\t--defaultregkey\tAuto select default regkey\n"
      L"/R<regkey>    \t-r<regkey>     \tAuto select regkey\n"
      L"/O+<option>   \t-o+<option>    \tSet option\n"
      L"/O-<option>   \t-o-<option>    \tUnset option\n"
      L"\n"
      L"Options:\n"
      L"  DisablePackageCache\n";
  TRegistryDump before = DumpIdeRoots();
  for (const wchar_t* params : {L"/?", L"--HELP", L"/INSTALL -h"}) {
    SCOPED_TRACE(testing::Message() << params);
    EXPECT_EQ(Run(params), 0u);
    EXPECT_EQ(Log(), help);
  }
  EXPECT_EQ(DumpIdeRoots(), before);
  EXPECT_FALSE(Exists(ExpertsDir()));
}

TEST_F(InstallerRun, DefaultRootNeedsAnInstallationDirectory) {
  const std::wstring rootDirError =
      ErrorRecord(L"HKCU\\Software\\Embarcadero\\BDS\\8.0 does not have a valid RootDir entry.");
  AddRoot(L"QmInstallerTestA");
  WriteString(Root(L"BDS"), L"RootDir", L"C:\\no\\such\\dir");
  TRegistryDump before = DumpIdeRoots();
  EXPECT_EQ(Run(L"/INSTALL"), 3u);
  EXPECT_EQ(Log(), rootDirError);
  EXPECT_EQ(DumpIdeRoots(), before);
  EXPECT_FALSE(Exists(ExpertsDir()));

  // A RootDir that names a file (and no App) is no installation directory either.
  WriteString(Root(L"BDS"), L"RootDir", FInstaller);
  before = DumpIdeRoots();
  EXPECT_EQ(Run(L"/INSTALL"), 3u);
  EXPECT_EQ(Log(), rootDirError);
  EXPECT_EQ(DumpIdeRoots(), before);
  EXPECT_FALSE(Exists(ExpertsDir()));

  // A default root of another IDE version is not the default root.
  WriteString(Root(L"BDS"), L"RootDir", L"C:\\windows");
  WriteString(Root(L"BDS"), L"ProductVersion", L"14");
  EXPECT_EQ(Run(L"/INSTALL /RQmInstallerTestA"), 3u);
  EXPECT_EQ(Log(), rootDirError);

  // Without a RootDir, the folder above the IDE executable's folder counts.
  WriteString(Root(L"BDS"), L"ProductVersion", L"15");
  WriteString(Root(L"BDS"), L"RootDir", L"");
  WriteString(Root(L"BDS"), L"App", L"C:\\windows\\system32\\bds.exe");
  EXPECT_EQ(Run(L"/INSTALL /RQmInstallerTestA"), 0u);
  EXPECT_TRUE(IsInstalledIn(L"QmInstallerTestA"));
}

TEST_F(InstallerRun, FailedRunsEndWithAnErrorCode) {
  // A file where the experts directory's parent should be.
  std::wstring parent = ExpertsDir().substr(0, ExpertsDir().rfind(L'\\'));
  RemoveDirectoryTree(parent);
  HANDLE h = CreateFileW(parent.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_EQ(Run(L"/INSTALL"), 1u);
  DeleteFileW(parent.c_str());
  EXPECT_EQ(Log(), ErrorRecord(L"Cannot create directory: " + ExpertsDir()));
  EXPECT_FALSE(HasAnyRegistration(L"BDS"));

  // A module still in use cannot be deleted: the uninstallation stops there.
  ASSERT_EQ(Run(L"/INSTALL"), 0u);
  std::wstring startup = ExpertsDir() + L"\\QuillmendStartup.bpl";
  h = CreateFileW(startup.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Run(L"/UNINSTALL"), 1u);
  CloseHandle(h);
  EXPECT_EQ(Log(), ErrorRecord(L"Cannot delete file: " + startup));
  EXPECT_FALSE(Exists(ExpertsDir() + L"\\Quillmend.dll"));  // deleted before the failure
  EXPECT_TRUE(Exists(startup));
}

TEST(InstallerExecutable, CarriesManifestAndDeliverables) {
  HMODULE exe = LoadLibraryExW(WinPath(QM_INSTALLER_EXE).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(exe);
  HRSRC manifest = FindResourceW(exe, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_TRUE(manifest);
  std::string text(static_cast<const char*>(LockResource(LoadResource(exe, manifest))), SizeofResource(exe, manifest));
  EXPECT_NE(text.find("level=\"asInvoker\""), std::string::npos);
  EXPECT_NE(text.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
  for (const wchar_t* name : {L"DLLEXPERT", L"STARTUPBPL"})
    EXPECT_TRUE(FindResourceW(exe, name, MAKEINTRESOURCEW(10))) << name;
  // The bridge assembly is carried exactly when the build produced it.
  EXPECT_EQ(FindResourceW(exe, L"DLLCLR", MAKEINTRESOURCEW(10)) != nullptr,
            Exists(WinPath(QM_OUT_DIR) + L"\\QuillmendClr.dll"));
  FreeLibrary(exe);
}
