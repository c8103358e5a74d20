// The small debugger fixes against the stand-in kernel and debugger
// packages: each fault shown without the patch and gone with it, seen from
// outside (a spy over kernel32's CreateProcessW, what the debuggee
// received, the live inspectors), and the inspector pattern found once in
// each of its three routines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "Hooking/CodeTransaction.h"
#include "Hooking/PatternSearch.h"
#include "Patches/Debugger/DbgExprInspectorMemoryLeakFix.h"
#include "Patches/Debugger/DbgTruncArgsFix.h"
#include "Patches/Debugger/DbkCreateProcessWithRelHostApp.h"
#include "Patches/Debugger/DbkDefaultErrorModeFix.h"
#include "Patches/Rtl/DotNetXmlSerializerOptimize.h"
#include "StandInDebugger.h"
#include "TestPaths.h"

using namespace Quillmend;

namespace {

const wchar_t* const ErrorMode = L"Debugger.ErrorMode";
const wchar_t* const TruncArgs = L"Debugger.wsprintf.truncargs";
const wchar_t* const WatchLeak = L"IDE.Debugger.WatchLocalMemoryLeak";
const wchar_t* const FullExpand = L"Debugger.FullExpandHostApp";

// Only `patch` enabled among the four (none for an empty name).
void InstallOnly(const std::wstring& patch) {
  std::wstring disabled = L"Debugger.CRTL;Debugger.LogViewSpeed;";
  for (const wchar_t* name : {ErrorMode, TruncArgs, WatchLeak, FullExpand})
    if (patch != name) disabled += std::wstring(name) + L";";
  DebuggerTest::InstallPatches(disabled);
  if (!patch.empty()) {
    const std::wstring reason = DebuggerTest::Reason(patch);
    ASSERT_EQ(DebuggerTest::Status(patch), L"applied") << std::string(reason.begin(), reason.end());
  }
}

void LoadHost(const std::string& variant = "") {
  if (!LoadLibraryW((BuildDirectory() + L"\\host\\rtl150.bpl").c_str())) throw std::runtime_error("rtl150.bpl");
  DebuggerTest::LoadKernel(variant);
  DebuggerTest::LoadDebuggerPackages(variant);
}

// ---- a spy over kernel32's CreateProcessW ----------------------------------------------
struct TSeenStart {
  DWORD Flags;
  std::wstring Application;
};
std::vector<TSeenStart> g_seen;
decltype(&CreateProcessW) g_realCreateProcess = nullptr;

BOOL WINAPI SpyCreateProcess(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                             LPSECURITY_ATTRIBUTES threadAttributes, BOOL inherit, DWORD flags, LPVOID environment,
                             LPCWSTR directory, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION info) {
  g_seen.push_back({flags, application ? application : L""});
  return g_realCreateProcess(application, commandLine, processAttributes, threadAttributes, inherit, flags,
                             environment, directory, startup, info);
}

class TCreateProcessSpy {
public:
  TCreateProcessSpy() {
    g_seen.clear();
    TCodeTransaction spy(L"CreateProcessSpy");
    void* entry = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CreateProcessW"));
    if (!spy.StageWinApiHook(entry, reinterpret_cast<void*>(&SpyCreateProcess),
                             reinterpret_cast<void**>(&g_realCreateProcess)) ||
        !spy.Commit())
      throw std::runtime_error("cannot spy on CreateProcessW");
  }
  ~TCreateProcessSpy() { UndoTransactionsOf(L"CreateProcessSpy"); }
};

std::wstring TempFolder(const wchar_t* name) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(temp) + name + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

// ---- the inspector's searched bytes ---------------------------------------------------

TEST(DebuggerInspector, ThePatternMatchesOnceInEachOfItsThreeRoutines) {
  LoadHost();
  HMODULE pro = GetModuleHandleW(L"dbkdebugproide150.bpl");
  const TBytePattern pattern = ParsePattern(InspectorAddsItselfPattern);
  auto* base = reinterpret_cast<uint8_t*>(pro);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  std::vector<uint8_t*> matches;
  IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    if (!(section->Characteristics & IMAGE_SCN_MEM_EXECUTE)) continue;
    uint8_t* start = base + section->VirtualAddress;
    for (size_t at = 0; at + pattern.size() <= section->Misc.VirtualSize; ++at) {
      size_t k = 0;
      while (k < pattern.size() && (pattern[k] < 0 || start[at + k] == uint8_t(pattern[k]))) ++k;
      if (k == pattern.size()) matches.push_back(start + at);
    }
  }
  ASSERT_EQ(matches.size(), 3u);
  struct TRoutine {
    const char* Export;
    const char* Site;
    size_t Window;
  };
  using namespace DbkDebugProIdeDriver;
  const TRoutine routines[] = {{Export::InspectorCreate, Site::InspectorCreate, 256},
                               {Export::InspectorCreateForThread, Site::InspectorCreateForThread, 512},
                               {Export::SetupInspector, Site::SetupInspector, 256}};
  for (const TRoutine& routine : routines) {
    SCOPED_TRACE(routine.Site);
    auto* site = static_cast<uint8_t*>(DebuggerTest::Pro().patternSite(routine.Site));
    auto* entry = reinterpret_cast<uint8_t*>(GetProcAddress(pro, routine.Export));
    EXPECT_EQ(std::count(matches.begin(), matches.end(), site), 1);
    EXPECT_GE(site, entry);
    EXPECT_LE(size_t(site - entry) + pattern.size(), routine.Window);
    // At +23: the list's fourth method called.
    EXPECT_EQ(std::memcmp(site + NotifierAddCallOffset, "\x8B\x08\xFF\x51\x0C", 5), 0);
  }
}

// ---- Debugger.ErrorMode ---------------------------------------------------------------

TEST(DebuggerErrorMode, BothStartsGetTheDefaultErrorModeOnlyWhenPatched) {
  LoadHost();
  TCreateProcessSpy spy;
  auto startBoth = [] {
    bool started = false;
    EXPECT_EQ(DebuggerTest::RunDebuggee(DebuggerTest::DebuggeePath(), L"x", &started), L"x");
    EXPECT_TRUE(started);
    PROCESS_INFORMATION info{};
    std::wstring commandLine = L"\"" + DebuggerTest::DebuggeePath() + L"\" nul";
    EXPECT_TRUE(DebuggerTest::Ide().runProcess(commandLine.c_str(), 0, &info));
    WaitForSingleObject(info.hProcess, 30000);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
  };
  startBoth();
  ASSERT_EQ(g_seen.size(), 2u);
  EXPECT_EQ(g_seen[0].Flags & CREATE_DEFAULT_ERROR_MODE, 0u) << "the kernel's start";
  EXPECT_EQ(g_seen[1].Flags & CREATE_DEFAULT_ERROR_MODE, 0u) << "the package's start";
  InstallOnly(ErrorMode);
  g_seen.clear();
  startBoth();
  ASSERT_EQ(g_seen.size(), 2u);
  EXPECT_EQ(g_seen[0].Flags & CREATE_DEFAULT_ERROR_MODE, DWORD(CREATE_DEFAULT_ERROR_MODE)) << "the kernel's start";
  EXPECT_EQ(g_seen[1].Flags & CREATE_DEFAULT_ERROR_MODE, DWORD(CREATE_DEFAULT_ERROR_MODE)) << "the package's start";
}

// The serializer cache's interception of CreateProcessW in front of the
// system's: the flags still reach the system (a spy one level below, on the
// CreateProcessInternalW that the system's CreateProcessW calls), and the
// interception stays.
using TCreateProcessInternal = BOOL(WINAPI*)(HANDLE token, LPCWSTR application, LPWSTR commandLine,
                                             LPSECURITY_ATTRIBUTES processAttributes,
                                             LPSECURITY_ATTRIBUTES threadAttributes, BOOL inherit, DWORD flags,
                                             LPVOID environment, LPCWSTR directory, LPSTARTUPINFOW startup,
                                             LPPROCESS_INFORMATION info, PHANDLE newToken);
TCreateProcessInternal g_realInternal = nullptr;

BOOL WINAPI SpyCreateProcessInternal(HANDLE token, LPCWSTR application, LPWSTR commandLine,
                                     LPSECURITY_ATTRIBUTES processAttributes, LPSECURITY_ATTRIBUTES threadAttributes,
                                     BOOL inherit, DWORD flags, LPVOID environment, LPCWSTR directory,
                                     LPSTARTUPINFOW startup, LPPROCESS_INFORMATION info, PHANDLE newToken) {
  g_seen.push_back({flags, application ? application : L""});
  return g_realInternal(token, application, commandLine, processAttributes, threadAttributes, inherit, flags,
                        environment, directory, startup, info, newToken);
}

TEST(DebuggerErrorMode, TheFlagsPassTheSerializerCachesInterception) {
  LoadHost();
  HMODULE system = GetModuleHandleW(L"kernelbase.dll");
  void* internal = system ? reinterpret_cast<void*>(GetProcAddress(system, "CreateProcessInternalW")) : nullptr;
  if (!internal) GTEST_SKIP() << "no CreateProcessInternalW to spy on";
  g_seen.clear();
  TCodeTransaction spy(L"CreateProcessInternalSpy");
  ASSERT_TRUE(spy.StageWinApiHook(internal, reinterpret_cast<void*>(&SpyCreateProcessInternal),
                                  reinterpret_cast<void**>(&g_realInternal)) &&
              spy.Commit())
      << std::string(spy.Reason().begin(), spy.Reason().end());
  Unit_DotNetXmlSerializerOptimize.Initialize();
  ASSERT_TRUE(SerializerInterceptionActive());
  InstallOnly(ErrorMode);
  bool started = false;
  EXPECT_EQ(DebuggerTest::RunDebuggee(DebuggerTest::DebuggeePath(), L"x", &started), L"x");
  ASSERT_EQ(g_seen.size(), 1u);
  EXPECT_EQ(g_seen[0].Flags & CREATE_DEFAULT_ERROR_MODE, DWORD(CREATE_DEFAULT_ERROR_MODE));
  EXPECT_TRUE(SerializerInterceptionActive()) << "no compiler run";
}

// One module's slot alone is no fix: without the package the kernel's slot stays as it was.
TEST(DebuggerErrorMode, WithoutThePackageNothingIsReplaced) {
  LoadLibraryW((BuildDirectory() + L"\\host\\rtl150.bpl").c_str());
  HMODULE kernel = DebuggerTest::LoadKernel();
  DebuggerTest::InstallPatches();
  EXPECT_EQ(DebuggerTest::Status(ErrorMode), L"failed");
  EXPECT_EQ(DebuggerTest::Reason(ErrorMode), L"dbkdebugide150.bpl: module not loaded");
  void* real = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CreateProcessW"));
  auto* base = reinterpret_cast<uint8_t*>(kernel);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& iat = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IAT];
  auto** slots = reinterpret_cast<void**>(base + iat.VirtualAddress);
  size_t found = 0;
  for (size_t i = 0; i < iat.Size / sizeof(void*); ++i) {
    EXPECT_NE(slots[i], reinterpret_cast<void*>(&CreateProcessWithDefaultErrorMode));
    found += slots[i] == real;
  }
  EXPECT_EQ(found, 1u) << "the kernel's slot of CreateProcessW";
}

// ---- Debugger.wsprintf.truncargs ----------------------------------------------------------

// What the replacement writes and answers, against the system's wsprintfA
// where that one is not cut at its limit.
TEST(DebuggerTruncArgs, FormatsLikeTheSystemBelowItsLimitAndWholeAboveIt) {
  static char ours[40000], theirs[40000];
  struct TCase {
    const char* Name;
    const char* Format;
    size_t FirstLength;   // of 'a'
    size_t SecondLength;  // of 'b'
    bool Whole;           // written whole, not as wsprintfA cuts it
  };
  const TCase cases[] = {
      {"empty strings", "%c%s%c %s", 0, 0, false},
      {"short", "%c%s%c %s", 12, 30, false},
      {"just below the system's limit", "%c%s%c %s", 500, 519, false},
      {"5,000 characters", "%c%s%c %s", 200, 5000, true},
      {"the longest command line", "%c%s%c %s", 32763, 0, true},
      {"wide characters", "%C%s%C %s", 12, 30, false},
      {"another format", "%c%s%c=%s", 200, 5000, false},
      {"one character longer", "%c%s%c %s", 32764, 0, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string first(c.FirstLength, 'a'), second(c.SecondLength, 'b');
    std::memset(ours, 0x55, sizeof ours);
    const int written = FormatCommandLine(ours, c.Format, '"', first.c_str(), '"', second.c_str());
    if (c.Whole) {
      const std::string expected = "\"" + first + "\" " + second;
      EXPECT_EQ(written, int(expected.size()));
      EXPECT_EQ(std::string(ours), expected);
    } else {
      const int system = wsprintfA(theirs, c.Format, '"', first.c_str(), '"', second.c_str());
      EXPECT_EQ(written, system);
      EXPECT_EQ(std::string(ours), std::string(theirs));
    }
  }
  // Nil strings go to the system too.
  EXPECT_EQ(FormatCommandLine(ours, "%c%s%c %s", '"', static_cast<const char*>(nullptr), '"', "x"),
            wsprintfA(theirs, "%c%s%c %s", '"', static_cast<const char*>(nullptr), '"', "x"));
  EXPECT_EQ(std::string(ours), std::string(theirs));
  EXPECT_TRUE(IsCommandLineFormat("%c%s%c %s"));
  EXPECT_FALSE(IsCommandLineFormat("%c%s%c %s "));
  EXPECT_FALSE(IsCommandLineFormat("%c%S%c %S")) << "wide strings";
  EXPECT_FALSE(IsCommandLineFormat(nullptr));
}

TEST(DebuggerTruncArgs, AFiveThousandCharacterCommandLineArrivesWhole) {
  LoadHost();
  std::wstring arguments;
  for (int i = 0; arguments.size() < 5000; ++i) arguments += L"arg" + std::to_wstring(i) + L" ";
  arguments.resize(5000);
  const std::wstring cut = DebuggerTest::RunDebuggee(DebuggerTest::DebuggeePath(), arguments);
  EXPECT_LT(cut.size(), 1024u) << "the system's wsprintfA cuts it";
  EXPECT_EQ(cut, arguments.substr(0, cut.size()));
  InstallOnly(TruncArgs);
  EXPECT_EQ(DebuggerTest::RunDebuggee(DebuggerTest::DebuggeePath(), arguments), arguments);
  EXPECT_GT(DebuggerTest::Kernel().lastCommandLineLength(), 5000);
}

// ---- Debugger.FullExpandHostApp -----------------------------------------------------------

TEST(DebuggerFullExpand, ARelativeProgramNameIsStartedByItsFullPath) {
  LoadHost();
  const std::wstring folder = TempFolder(L"qmrel");
  CreateDirectoryW((folder + L"\\bin").c_str(), nullptr);
  ASSERT_TRUE(CopyFileW(DebuggerTest::DebuggeePath().c_str(), (folder + L"\\bin\\relprog.exe").c_str(), FALSE));
  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(folder.c_str()));
  wchar_t oracle[MAX_PATH];
  GetFullPathNameW(L"bin\\relprog.exe", MAX_PATH, oracle, nullptr);
  wchar_t kernelFolder[MAX_PATH];
  std::wstring kernelPath(kernelFolder, GetModuleFileNameW(GetModuleHandleW(L"bordbk150N.dll"), kernelFolder, MAX_PATH));
  kernelPath.resize(kernelPath.find_last_of(L'\\') + 1);
  {
    TCreateProcessSpy spy;
    bool started = true;
    DebuggerTest::RunDebuggee(L"bin\\relprog.exe", L"x", &started);
    EXPECT_FALSE(started) << "the kernel looks for it in its own folder";
    InstallOnly(FullExpand);
    EXPECT_EQ(DebuggerTest::RunDebuggee(L"bin\\relprog.exe", L"x", &started), L"x");
    EXPECT_TRUE(started);
    ASSERT_FALSE(g_seen.empty());
    EXPECT_EQ(g_seen.back().Application, oracle);
    // A name that does not exist is passed as given (the kernel then looks in its folder).
    g_seen.clear();
    DebuggerTest::RunDebuggee(L"bin\\absent.exe", L"x", &started);
    EXPECT_FALSE(started);
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].Application, kernelPath + L"bin\\absent.exe");
  }
  SetCurrentDirectoryW(previous);
  DeleteFileW((folder + L"\\bin\\relprog.exe").c_str());
}

TEST(DebuggerFullExpand, ExpandsOnlyNamesOfExistingFiles) {
  const std::wstring folder = TempFolder(L"qmexp");
  const std::wstring file = folder + L"\\present.txt";
  CloseHandle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(folder.c_str()));
  EXPECT_EQ(ExpandExistingFileName(L"present.txt"), file);
  EXPECT_EQ(ExpandExistingFileName(L".\\present.txt"), file);
  EXPECT_EQ(ExpandExistingFileName(file), file);
  EXPECT_EQ(ExpandExistingFileName(L"absent.txt"), L"");
  EXPECT_EQ(ExpandExistingFileName(L"."), L"") << "a folder is no program";
  EXPECT_EQ(ExpandExistingFileName(L""), L"");
  SetCurrentDirectoryW(previous);
  DeleteFileW(file.c_str());
}

// ---- IDE.Debugger.WatchLocalMemoryLeak ------------------------------------------------------

TEST(DebuggerWatchLeak, LiveInspectorsStayFlatOverOneHundredOpeningsWhileNotificationsArrive) {
  LoadHost();
  const DbkDebugProIdeDriver::Driver& pro = DebuggerTest::Pro();
  using DbkDebugProIdeDriver::TOpenWatchForm;
  const TOpenWatchForm forms[] = {DbkDebugProIdeDriver::owCreate, DbkDebugProIdeDriver::owCreateForThread,
                                  DbkDebugProIdeDriver::owCreateAndSetup};
  auto openAndClose = [&](int times) {
    for (int i = 0; i < times; ++i) {
      void* inspector = pro.openWatch(forms[i % 3]);
      ASSERT_NE(inspector, nullptr);
      // Every process notification reaches the open inspector once.
      for (int kind = 0; kind < 4; ++kind) pro.fire(kind);
      EXPECT_EQ(pro.inspectorNotifications(inspector), 4);
      pro.closeWatch(inspector);
    }
  };
  openAndClose(6);
  EXPECT_EQ(pro.liveInspectors(), 6) << "the list keeps every inspector alive";
  InstallOnly(WatchLeak);
  openAndClose(100);
  EXPECT_EQ(pro.liveInspectors(), 6);
  EXPECT_EQ(pro.listedNotifiers(), 6) << "only the inspectors from before";
  EXPECT_EQ(LiveInspectorNotifiers(), 0);
  // While open, its notifier is listed and alive.
  void* inspector = pro.openWatch(DbkDebugProIdeDriver::owCreateAndSetup);
  EXPECT_EQ(LiveInspectorNotifiers(), 1);
  EXPECT_EQ(pro.listedNotifiers(), 7);
  pro.closeWatch(inspector);
  EXPECT_EQ(LiveInspectorNotifiers(), 0);
}

// A list still holding our notifiers keeps the calls in place at unload.
TEST(DebuggerWatchLeak, TheCallsStayWhileAListHoldsANotifier) {
  LoadHost();
  InstallOnly(WatchLeak);
  void* inspector = DebuggerTest::Pro().openWatch(DbkDebugProIdeDriver::owCreate);
  UndoAllTransactions();
  EXPECT_EQ(CommittedRanges().size(), 3u);
  DebuggerTest::Pro().closeWatch(inspector);
  UndoAllTransactions();
  EXPECT_TRUE(CommittedRanges().empty());
}

}  // namespace
