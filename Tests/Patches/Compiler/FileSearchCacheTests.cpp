// The compiler's file search with the caches in front of it, against the
// stand-in compiler on small trees of this test's own: the search lists the
// hooks keep, directories listed once, written files, names as on disk,
// the current directory, the IDE's unsaved editor files, the parser thread,
// CodeInsight's symbol query, and the places where the caches would answer
// otherwise than the compiler (each answered by the compiler now).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>
#include <windows.h>

#include "Framework/HostAbi.h"
#include "Framework/LibraryEntry.h"
#include "Patches/Compiler/CompilerFileSearch.h"
#include "Patches/Compiler/DirectoryCache.h"
#include "Patches/Compiler/UnsavedFileCache.h"
#include "IdeServices/ModuleServices.h"
#include "IdeServices/ServicesRoot.h"
#include "StandInFiles.h"
#include "TestPaths.h"

using namespace Quillmend;

namespace {

const DccFilesDriver::Driver& D() { return StandInFiles::Driver(); }

// A fixed UTC time plus `seconds`.
FILETIME Time(int seconds) {
  SYSTEMTIME t = {2022, 5, 0, 6, 7, 8, 10, 0};
  FILETIME f;
  SystemTimeToFileTime(&t, &f);
  const uint64_t ticks = ((uint64_t(f.dwHighDateTime) << 32) | f.dwLowDateTime) + uint64_t(seconds) * 10000000u;
  return FILETIME{DWORD(ticks), DWORD(ticks >> 32)};
}

uint32_t DosAge(const FILETIME& utc) {
  FILETIME local;
  WORD date = 0, time = 0;
  FileTimeToLocalFileTime(&utc, &local);
  FileTimeToDosDateTime(&local, &date, &time);
  return (uint32_t(date) << 16) | time;
}

void MakeFile(const std::wstring& path, int seconds) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written;
  WriteFile(file, "procedure Run;\r\nfunction Value: Integer;\r\n", 42, &written, nullptr);
  const FILETIME t = Time(seconds);
  SetFileTime(file, nullptr, nullptr, &t);
  CloseHandle(file);
}

struct TAnswer {
  uint32_t Age;
  std::string Path;
};

TAnswer Search(const char* dir, int kind, const char* name) {
  char found[264] = {};
  const uint32_t age = D().FileSearch(dir, kind, name, found, nullptr);
  return TAnswer{age, found};
}

std::string Lower(std::string text) {
  for (char& c : text) c = char(tolower(uint8_t(c)));
  return text;
}

// A tree of this test's own as the current directory, the stand-in loaded
// and the file patches installed.
class FileSearchCache : public testing::Test {
protected:
  void SetUp() override {
    StandInFiles::Load();
    Root = StandInFiles::WorkDirectory(StandInFiles::TestName());
    ASSERT_TRUE(SetCurrentDirectoryW(Root.c_str()));
    for (const wchar_t* dir : {L"src", L"lib", L"inc", L"out"}) CreateDirectoryW((Root + L"\\" + dir).c_str(), nullptr);
  }
  void Install(const std::wstring& disabled = L"") { StandInFiles::InstallAll(disabled); }
  void TearDown() override { SetCurrentDirectoryW(BuildDirectory().c_str()); }
  std::wstring Root;
};

} // namespace

TEST_F(FileSearchCache, MacrosAndDuplicatesNeverReachTheSearchLists) {
  Install();
  D().ClearDirs();
  D().AddDir(1, "$(BDS)\\lib\\%Platform%");
  D().AddDir(1, "src");
  D().AddDir(1, "src");
  D().AddDir(1, "lib");
  const TCompilerDirInfos* dirs = FileSearchCompilerDirs();
  ASSERT_NE(dirs, nullptr);
  EXPECT_EQ(dirs->Lists[1], (std::vector<std::string>{"src", "lib"}));
  int nodes = 0;
  void** lists = reinterpret_cast<void**>(GetProcAddress(GetModuleHandleW(L"dcc150.dll"), "DccSearchLists"));
  for (void** node = static_cast<void**>(lists[1]); node; node = static_cast<void**>(node[0])) ++nodes;
  EXPECT_EQ(nodes, 2);
}

TEST_F(FileSearchCache, OneDirectoryEntryWithAndWithoutItsBackslash) {
  MakeFile(Root + L"\\src\\a.pas", 0);
  Install();
  D().ClearDirs();
  D().AddDir(1, "src");
  D().AddDir(5, "src\\");
  EXPECT_EQ(Search(nullptr, 1, "a.pas").Age, DosAge(Time(0)));
  EXPECT_EQ(Search(nullptr, 5, "a.pas").Age, DosAge(Time(0)));
  TDirectoryCache* cache = FileSearchDirectoryCache();
  ASSERT_NE(cache->Find("src"), nullptr);
  EXPECT_EQ(cache->Find("src"), cache->Find("src\\"));
  EXPECT_GE(cache->Find("src")->RefCount, 3);  // the expanded path, and both forms
  EXPECT_EQ(cache->Listings, 1u);
}

// A file the compiler writes after its directory was listed: found, its age
// read again when asked (not the listing's), and a cached search result that
// found it is not answered from the cache any more.
TEST_F(FileSearchCache, AWrittenFileIsFoundWithItsNewAge) {
  MakeFile(Root + L"\\src\\a.pas", 0);
  MakeFile(Root + L"\\inc\\x.inc", 10);
  Install();
  D().ClearDirs();
  D().AddDir(1, "src");
  EXPECT_EQ(Search(nullptr, 1, "a.pas").Age, DosAge(Time(0)));
  EXPECT_EQ(Search(nullptr, 1, "b.pas").Age, 0u);
  EXPECT_EQ(Search("inc", 0, "x.inc").Age, DosAge(Time(10)));
  for (const wchar_t* written : {L"src\\b.pas", L"inc\\x.inc"}) {
    const int32_t handle = D().Open1(StandInFiles::Utf8(written).c_str());
    ASSERT_NE(handle, -1);
    const FILETIME t = Time(100);
    SetFileTime(reinterpret_cast<HANDLE>(intptr_t(handle)), nullptr, nullptr, &t);
    CloseHandle(reinterpret_cast<HANDLE>(intptr_t(handle)));
  }
  const TFileEntry* entry = FileSearchDirectoryCache()->Find("src")->FindFile("b.pas");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->Age, AgeNotRead);
  const TAnswer b = Search(nullptr, 1, "b.pas");
  EXPECT_EQ(b.Age, DosAge(Time(100)));
  EXPECT_EQ(b.Path, "src\\b.pas");
  EXPECT_EQ(Search("inc", 0, "x.inc").Age, DosAge(Time(100)));
}

// Answers carry the name as written on disk, where it takes as many bytes as
// the name asked for; a name whose case mapping changes its UTF-8 length is
// left as the caller wrote it, and nothing behind it is touched.
TEST_F(FileSearchCache, NamesAreAnsweredAsOnDiskWithinTheCallersBytes) {
  MakeFile(Root + L"\\src\\MixedCase.PAS", 0);
  MakeFile(Root + L"\\src\\\u2C6Fx.inc", 2);  // U+2C6F, 3 bytes in UTF-8; its lower case U+0250 takes 2
  Install();
  D().ClearDirs();
  D().AddDir(1, "src");
  EXPECT_EQ(Search(nullptr, 1, "mixedcase.pas").Path, "src\\MixedCase.PAS");
  char path[32] = "src\\mixedCASE.pas";
  EXPECT_EQ(D().FileAge(path), DosAge(Time(0)));
  EXPECT_STREQ(path, "src\\MixedCase.PAS");
  char shorter[32] = {};
  const char asked[] = "src\\\xC9\x90x.inc";  // U+0250
  std::memcpy(shorter, asked, sizeof asked);
  std::memset(shorter + sizeof asked, 'Z', 4);
  D().FileAge(shorter);
  EXPECT_EQ(std::string(shorter), std::string(asked));
  EXPECT_EQ(std::string(shorter + sizeof asked, 4), "ZZZZ");
}

TEST_F(FileSearchCache, ChangingTheCurrentDirectoryEmptiesTheCaches) {
  const std::wstring other = Root + L"\\other";
  CreateDirectoryW(other.c_str(), nullptr);
  CreateDirectoryW((other + L"\\src").c_str(), nullptr);
  MakeFile(Root + L"\\src\\a.pas", 0);
  MakeFile(other + L"\\src\\a.pas", 50);
  Install();
  D().ClearDirs();
  D().AddDir(1, "src");
  EXPECT_EQ(Search(nullptr, 1, "a.pas").Age, DosAge(Time(0)));
  ASSERT_TRUE(SetCurrentDirectoryW(other.c_str()));
  EXPECT_EQ(Search(nullptr, 1, "a.pas").Age, DosAge(Time(50)));
  EXPECT_EQ(FileSearchDirectoryCache()->Listings, 2u);  // "src" listed again, in the new directory
}

namespace {

// TDateTime of a UTC file time, in local time.
double DateTime(const FILETIME& utc) {
  FILETIME local;
  FileTimeToLocalFileTime(&utc, &local);
  const uint64_t ticks = (uint64_t(local.dwHighDateTime) << 32) | local.dwLowDateTime;
  return double(ticks) / 864000000000.0 - 109205.0;
}

} // namespace

// The unsaved editor file is found with its editor's age, a modified buffer
// of a file on disk overrides the disk's age; the listing's merge brings both.
TEST_F(FileSearchCache, TheIdesEditorFilesAreFoundWithTheirEditorAges) {
  ASSERT_NE(LoadLibraryW((BuildDirectory() + L"\\host\\rtl150.bpl").c_str()), nullptr);
  MakeFile(Root + L"\\src\\a.pas", 0);
  // The stand-in IDE's module services: editors with a time, one without, a module without files.
  QmHost::SetEditorModified(QmHost::OpenModule(Root + L"\\src\\Unsaved.pas"), DateTime(Time(500)));
  QmHost::SetEditorModified(QmHost::OpenModule(Root + L"\\src\\a.pas"), DateTime(Time(600)));
  MakeFile(Root + L"\\src\\b.pas", 0);
  QmHost::OpenModule(Root + L"\\src\\b.pas");
  QmHost::OpenModule(Root + L"\\src\\Proj.groupproj", false);
  BorlandIDEServices = QmHost::ServicesRoot();
  Install();
  D().ClearDirs();
  D().AddDir(1, "src");
  const TAnswer unsaved = Search(nullptr, 1, "unsaved.pas");
  EXPECT_EQ(unsaved.Age, DosAge(Time(500)));
  EXPECT_EQ(unsaved.Path, "src\\Unsaved.pas");
  EXPECT_EQ(Search(nullptr, 1, "a.pas").Age, DosAge(Time(600)));
  // Without an editor's time the age is read as usual.
  EXPECT_EQ(Search(nullptr, 1, "b.pas").Age, DosAge(Time(0)));
  QmHost::CloseAllModules();
  BorlandIDEServices = nullptr;
}

namespace {

template <class F>
void __stdcall RunWork(void* data) {
  (*static_cast<F*>(data))();
}

// Runs `work` on the IDE's background parser thread (coreide150.bpl) and
// waits for it.
template <class F>
void OnParserThread(F&& work) {
  using TPost = void(__stdcall*)(void(__stdcall*)(void*), void*);
  using TWait = int32_t(__stdcall*)(uint32_t);
  HMODULE core = GetModuleHandleW(L"coreide150.bpl");
  auto post = reinterpret_cast<TPost>(reinterpret_cast<void*>(GetProcAddress(core, "ParserPost")));
  auto wait = reinterpret_cast<TWait>(reinterpret_cast<void*>(GetProcAddress(core, "ParserWaitIdle")));
  post(&RunWork<std::remove_reference_t<F>>, &work);
  ASSERT_TRUE(wait(10000));
}

void LoadIdePackages() {
  for (const wchar_t* file : {L"rtl150.bpl", L"coreide150.bpl", L"delphicoreide150.bpl"})
    ASSERT_NE(LoadLibraryW((BuildDirectory() + L"\\host\\" + file).c_str()), nullptr);
  using TStart = void*(__stdcall*)();
  reinterpret_cast<TStart>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"coreide150.bpl"), "ParserStart")))();
}

void SetMainThreadRequest(int32_t value) {
  using TSet = void(__stdcall*)(int32_t);
  reinterpret_cast<TSet>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"delphicoreide150.bpl"), "DelphiCoreSetMainThreadRequest")))(value);
}

uint32_t g_ideFileAgeCalls = 0;
uint32_t __stdcall CountingFileAge(const char*) {
  ++g_ideFileAgeCalls;
  return 0x5A5A0000;
}
const DccFilesDriver::TCallbacks CountingCallbacks = {nullptr, nullptr, nullptr, {}, &CountingFileAge};

} // namespace

// On the parser thread: a file the compiler holds in memory ages 1, a missing
// file 0 without asking the IDE, a file on disk through the IDE. Once the main
// thread wants the parser to yield, the caches give the compiler's own
// answers and list nothing; a merge cut short stays pending, and the main
// thread's next search merges the rest.
TEST_F(FileSearchCache, OnTheParserThread) {
  LoadIdePackages();
  for (int d = 0; d < 3; ++d) {
    const std::wstring dir = Root + L"\\lib\\d" + std::to_wstring(d);
    CreateDirectoryW(dir.c_str(), nullptr);
    MakeFile(dir + L"\\u" + std::to_wstring(d) + L".pas", d);
  }
  Install();
  D().ClearDirs();
  for (const char* dir : {"lib\\d0", "lib\\d1", "lib\\d2"}) D().AddDir(1, dir);
  MakeFile(Root + L"\\src\\outside.pas", 7);  // in no search directory: aged by the compiler's query
  D().AddMemoryFile("lib\\held.pas", "unit held;", 10);
  *D().Callbacks = const_cast<DccFilesDriver::TCallbacks*>(&CountingCallbacks);
  uint32_t held = 0, missing = 0, onDisk = 0;
  TAnswer yielded{};
  OnParserThread([&] {
    char heldPath[] = "lib\\held.pas", missingPath[] = "lib\\none.pas", diskPath[] = "src\\outside.pas";
    held = D().FileAge(heldPath);
    missing = D().FileAge(missingPath);
    onDisk = D().FileAge(diskPath);
  });
  EXPECT_EQ(held, 1u);
  EXPECT_EQ(missing, 0u);
  EXPECT_EQ(onDisk, 0x5A5A0000u);
  EXPECT_EQ(g_ideFileAgeCalls, 1u);
  // Without a callback table the parser thread reads the file system.
  *D().Callbacks = nullptr;
  OnParserThread([&] {
    char diskPath[] = "src\\outside.pas";
    onDisk = D().FileAge(diskPath);
  });
  EXPECT_EQ(onDisk, DosAge(Time(7)));
  SetMainThreadRequest(1);
  OnParserThread([&] { yielded = Search(nullptr, 1, "u2.pas"); });
  SetMainThreadRequest(0);
  EXPECT_EQ(yielded.Age, DosAge(Time(2)));
  EXPECT_EQ(Lower(yielded.Path), "lib\\d2\\u2.pas");
  EXPECT_EQ(FileSearchDirectoryCache()->Listings, 0u);
  EXPECT_EQ(FileSearchDirectoryCache()->Pending[1].size(), 3u);
  EXPECT_EQ(Search(nullptr, 1, "u2.pas").Age, DosAge(Time(2)));
  EXPECT_EQ(FileSearchDirectoryCache()->Pending[1].size(), 0u);
}

struct TKibitzCase {
  const wchar_t* Disabled;
  int32_t Symbols;  // what the query finds after the IDE changed the directory
};

class KibitzGetValidSymbols : public FileSearchCache, public testing::WithParamInterface<TKibitzCase> {};

// CodeInsight's query reads its unit by the path the compiler knows, relative
// to the compiler's current directory: found only when the patch runs it
// there; the process's directory is put back. Without the directory cache
// (no compiler directory) the compiler's own query runs as it is.
TEST_P(KibitzGetValidSymbols, RunsInTheCompilersDirectory) {
  MakeFile(Root + L"\\src\\Unit1.pas", 0);
  Install(GetParam().Disabled);
  D().ClearDirs();
  D().AddDir(1, "src");
  const std::wstring elsewhere = Root + L"\\out";
  ASSERT_TRUE(SetCurrentDirectoryW(elsewhere.c_str()));
  char symbols[64] = {};
  EXPECT_EQ(D().KibitzGetValidSymbols("src\\Unit1.pas", symbols, sizeof symbols, 0), GetParam().Symbols);
  if (GetParam().Symbols > 0) {
    EXPECT_STREQ(symbols, "Run;Value");
  }
  wchar_t current[MAX_PATH];
  EXPECT_EQ(std::wstring(current, GetCurrentDirectoryW(MAX_PATH, current)), elsewhere);
}

INSTANTIATE_TEST_SUITE_P(FileSearchCache, KibitzGetValidSymbols,
                         testing::Values(TKibitzCase{L"Compiler.KibitzGetValidSymbols", -1}, TKibitzCase{L"", 2},
                                         TKibitzCase{L"Compiler.DirectorySearch", -1}),
                         [](const testing::TestParamInfo<TKibitzCase>& info) {
                           return std::string(info.index == 0 ? "Unpatched" : info.index == 1 ? "Patched" : "WithoutDirectoryCache");
                         });

// Where the caches' own keys would answer otherwise than the compiler, the
// compiler's answer is given: a name with a directory part (the per-kind
// index keys bare names), the same name along two lists (search results
// keyed by kind too), a path longer than a result buffer holds.
TEST_F(FileSearchCache, AnswersTheCacheKeysCannotGiveComeFromTheCompiler) {
  CreateDirectoryW((Root + L"\\src\\sub").c_str(), nullptr);
  MakeFile(Root + L"\\lib\\x.pas", 1);
  MakeFile(Root + L"\\src\\sub\\x.pas", 2);
  MakeFile(Root + L"\\src\\k.inc", 3);
  MakeFile(Root + L"\\lib\\k.inc", 4);
  const std::wstring deep = Root + L"\\" + std::wstring(240 - Root.size() > 0 ? 240 - Root.size() : 10, L'd');
  CreateDirectoryW(deep.c_str(), nullptr);
  const std::wstring longName(30, L'n');
  MakeFile(deep + L"\\" + longName + L".pas", 5);
  const std::string deepDir = StandInFiles::Utf8(deep);
  const std::string longFile = StandInFiles::Utf8(longName) + ".pas";
  struct TQuery {
    const char* Dir;
    int Kind;
    std::string Name;
  };
  const std::vector<TQuery> queries = {
      {nullptr, 1, "sub\\x.pas"}, {nullptr, 2, "k.inc"}, {nullptr, 3, "k.inc"}, {nullptr, 1, longFile},
  };
  auto answers = [&] {
    D().ClearDirs();
    D().AddDir(1, "lib");
    D().AddDir(1, "src");
    D().AddDir(1, deepDir.c_str());
    D().AddDir(2, "src");
    D().AddDir(3, "lib");
    std::vector<TAnswer> result;
    for (int round = 0; round < 2; ++round)
      for (const TQuery& q : queries) result.push_back(Search(q.Dir, q.Kind, q.Name.c_str()));
    return result;
  };
  const std::vector<TAnswer> plain = answers();
  Install();
  const std::vector<TAnswer> patched = answers();
  ASSERT_EQ(patched.size(), plain.size());
  for (size_t i = 0; i < plain.size(); ++i) {
    SCOPED_TRACE(queries[i % queries.size()].Name);
    EXPECT_EQ(patched[i].Age, plain[i].Age);
    EXPECT_EQ(Lower(patched[i].Path), Lower(plain[i].Path));
  }
  EXPECT_EQ(plain[0].Age, DosAge(Time(2)));
  EXPECT_EQ(plain[1].Age, DosAge(Time(3)));
  EXPECT_EQ(plain[2].Age, DosAge(Time(4)));
  EXPECT_EQ(plain[3].Age, 0u);
}
