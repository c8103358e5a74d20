#include "Patches/Compiler/CompilerFileSearch.h"

#include <cstring>
#include <memory>
#include <string>
#include <windows.h>

#include "Framework/ChangeDirectoryNotify.h"
#include "Framework/HostFinally.h"
#include "Framework/LibraryEntry.h"
#include "Framework/PatchRegistry.h"
#include "Hooking/TextCompare.h"
#include "Patches/Compiler/CompilerFileAge.h"
#include "Patches/Compiler/CompilerFilePatterns.h"
#include "Patches/Compiler/DirectoryCache.h"
#include "Patches/Compiler/FileSearchTables.h"
#include "Patches/Compiler/IdeParserThread.h"
#include "Patches/Compiler/UnsavedFileCache.h"

namespace Quillmend {

// Read by the stubs below.
void* g_hostSetCompState asm("QmHostSetCompState") = nullptr;
volatile uint8_t g_dirsDirty asm("QmDirsDirty") = 0;

namespace {

namespace Patterns = CompilerFilePatterns;

const wchar_t* const Dcc = L"dcc150.dll";
const wchar_t* const FileSearchCache = L"Compiler.FileSearchCache";
constexpr int32_t SearchLimit = 0x10000;
constexpr int32_t NoLimit = 0;
constexpr size_t PathLimit = 260;  // characters a result buffer holds besides its terminator
constexpr int32_t SearchResultsCapacity = 128;
constexpr int32_t SearchDirNamesCapacity = 16;

// A node of the compiler's search lists.
struct TSearchDirNode {
  TSearchDirNode* Next;  // 0x00
  uint8_t Boundary;      // 0x04: nonzero ends the scan for duplicates
  uint8_t Pad05[3];
  char* Dir;             // 0x08
  char* Form2;           // 0x0C: kinds 0..6
};

using THostFileSearch = uint32_t(QM_REGISTER*)(const char* dir, uint32_t kind, const char* name, char* result,
                                               void* reserved);
using THostAddDir = void(QM_REGISTER*)(uint32_t kind, const char* dir);
using THostClearDirs = void(QM_REGISTER*)();
using THostOpen = int32_t(QM_REGISTER*)(const char* path);
using THostKibitz = int32_t(__stdcall*)(uint32_t a, uint32_t b, uint32_t c, uint32_t d);

// The continuations of the hooked routines.
THostFileSearch g_hostSearch = nullptr;
THostAddDir g_hostAddDir = nullptr;
THostClearDirs g_hostClearDirs = nullptr;
THostOpen g_hostOpen1 = nullptr;
THostOpen g_hostOpen2 = nullptr;
THostKibitz g_hostKibitz = nullptr;
// The file-age routine in effect before the cache was put in front of it.
TFileAgeProc g_hostFileAge = nullptr;
TSearchDirNode** g_hostLists = nullptr;

std::unique_ptr<TCompilerDirInfos> g_compilerDirs;
std::unique_ptr<TUnsavedFileCache> g_unsavedFiles;
std::unique_ptr<TDirectoryCache> g_directoryCache;
std::unique_ptr<TFileNameDictionary> g_searchResults;
std::unique_ptr<TDirNameDictionary> g_searchDirNames;
volatile bool g_curDirChanged = false;
volatile bool g_parserAbort = false;

TChangeDirectoryNotifyProc g_previousNotifier = nullptr;
bool g_notifierRegistered = false;

bool IsAbsolute(const char* name) { return name[0] == '\\' || (name[0] && name[1] == ':'); }
bool HasDelimiter(const char* name) { return std::strpbrk(name, "\\/") != nullptr; }

void CopyPath(char* result, const char* path) {
  if (!result) return;
  size_t length = std::strlen(path);
  if (length > PathLimit) length = PathLimit;
  std::memcpy(result, path, length);
  result[length] = '\0';
}

uint32_t HostAge(const char* path) {
  char copy[PathLimit + 1];
  CopyPath(copy, path);
  return g_hostFileAge ? g_hostFileAge(copy) : 0;
}

// The directory of a path as the cache knows it: the part up to its last
// delimiter, or the same without that delimiter.
TDirEntry* KnownDirectoryOf(const char* path) {
  const std::string dir = DirectoryPart(path);
  if (dir.empty()) return nullptr;
  if (TDirEntry* entry = g_directoryCache->Find(dir.c_str())) return entry;
  return g_directoryCache->Find(dir.substr(0, dir.size() - 1).c_str());
}

// Rebuilds the caches for the compiler's current search lists when they,
// the compiler's state or the current directory changed; true when it did.
bool UpdateCache() {
  if (!g_searchResults) {
    g_searchResults = std::make_unique<TFileNameDictionary>(SearchResultsCapacity);
    g_searchDirNames = std::make_unique<TDirNameDictionary>(SearchDirNamesCapacity);
  }
  const bool rebuild =
      g_dirsDirty || (g_compilerDirs->Changed && !g_compilerDirs->Equals(g_directoryCache->Snapshot));
  g_compilerDirs->Changed = false;
  if (!rebuild) return false;
  g_dirsDirty = 0;
  g_directoryCache->Empty();
  g_searchResults->Clear(SearchResultsCapacity);
  g_searchDirNames->Clear(SearchDirNamesCapacity);
  g_directoryCache->Snapshot.CopyFrom(*g_compilerDirs);
  for (int32_t kind = 0; kind < TCompilerDirInfos::Kinds; ++kind)
    for (TSearchDirNode* node = g_hostLists[kind]; node; node = node->Next) {
      g_directoryCache->RegisterSearchDir(kind, node->Dir);
      if (kind < 7) g_directoryCache->RegisterSearchDir(kind, node->Form2);
    }
  return true;
}

uint32_t CachedAge(char* path) {
  if (!g_directoryCache || g_parserAbort) return g_hostFileAge(path);
  if (UpdateCache() && g_parserAbort) return g_hostFileAge(path);
  TDirEntry* dir = KnownDirectoryOf(path);
  if (!dir || !g_directoryCache->List(dir)) return g_hostFileAge(path);
  char* name = Utf8ExtractFileName(path);
  TFileEntry* file = dir->FindFile(name);
  if (!file) return g_parserAbort ? g_hostFileAge(path) : 0;
  if (file->Age == AgeNotRead) file->Age = g_hostFileAge(path);
  // The name as on disk, where it takes as many bytes as the caller's (a
  // case mapping may change a UTF-8 length; the caller's buffer ends there).
  if (file->Name.size() == std::strlen(name)) std::memcpy(name, file->Name.data(), file->Name.size());
  return file->Age;
}

uint32_t Search(const char* dir, uint32_t kindArgument, const char* name, char* result, void* reserved) {
  const int32_t kind = int32_t(kindArgument & 0xFF);
  char local[PathLimit + 1];
  char* buffer = result ? result : local;
  auto host = [&](const char* directory) { return g_hostSearch(directory, kindArgument, name, buffer, reserved); };
  if (g_directoryCache) {
    g_parserAbort = false;
    if (g_curDirChanged) {
      g_curDirChanged = false;
      if (g_compilerDirs->CheckCurrentDir()) {
        g_directoryCache->Empty();
        if (g_searchResults) {
          g_searchResults->Clear(SearchResultsCapacity);
          g_searchDirNames->Clear(SearchDirNamesCapacity);
        }
      }
    }
    // An absolute name is only aged.
    if (IsAbsolute(name)) {
      if (std::strlen(name) > PathLimit) return host(dir);
      CopyPath(buffer, name);
      return CachedAge(buffer);
    }
    if (UpdateCache() && g_parserAbort) return host(dir);
    // A bare name of a source or compiled unit: the kind's index. A name
    // with a directory part goes on below (the index keys bare names).
    if (!dir && (kind == 1 || kind == 5) && !HasDelimiter(name)) {
      g_directoryCache->MergePending(kind);
      if (!g_parserAbort) {
        auto* file = static_cast<TFileEntry*>(g_directoryCache->KindIndex.Find(name, kind));
        if (!file) {
          CopyPath(buffer, name);
          return 0;
        }
        if (file->FullPath.size() > PathLimit) return host(dir);
        if (file->Age == AgeNotRead) file->Age = HostAge(file->FullPath.c_str());
        CopyPath(buffer, file->FullPath.c_str());
        return file->Age;
      }
    }
    if ((kind == 0 || kind == 4) && dir && *dir && !g_parserAbort && !g_directoryCache->Find(dir))
      g_directoryCache->GetDir(kind, dir);
  }
  if (g_searchResults && !g_parserAbort) {
    const int32_t dirIndex = g_searchDirNames->Intern(dir);
    if (const TFileNameItem* cached = g_searchResults->Find(dirIndex, kind, name)) {
      CopyPath(buffer, cached->FoundPath.c_str());
      if (cached->Value) return cached->Value;
      const uint32_t age = host("");
      g_searchResults->Store(dirIndex, kind, name, age ? buffer : "", age);
      return age;
    }
    const uint32_t age = host(dir);
    if (age) g_searchResults->Store(dirIndex, kind, name, buffer, age);
    return age;
  }
  return host(dir);
}

// ---- hooks keeping the caches in step with the compiler ----------------------------------

void QM_REGISTER AddDirHook(uint32_t kindArgument, const char* dir) {
  const uint32_t kind = kindArgument & 0xFF;
  if (!dir) return;
  int percents = 0;
  for (const char* p = dir; *p; ++p) percents += *p == '%';
  if (percents >= 2) return;  // a macro nobody expanded: never a directory
  if (kind < uint32_t(TCompilerDirInfos::Kinds))
    for (TSearchDirNode* node = g_hostLists[kind]; node && node->Boundary == 0; node = node->Next)
      if (std::strcmp(node->Dir, dir) == 0) return;
  HostBoundary([&] { g_compilerDirs->Add(int32_t(kind), dir); });
  g_hostAddDir(kindArgument, dir);
}

void QM_REGISTER ClearDirsHook() {
  HostBoundary([] {
    g_parserAbort = false;
    g_compilerDirs->Clear();
    g_compilerDirs->CheckCurrentDir();
    g_curDirChanged = false;
    if (g_dirsDirty) g_unsavedFiles->Load(BorlandIDEServices);
  });
  g_hostClearDirs();
}

int32_t QM_REGISTER Open1Hook(const char* path) {
  const int32_t file = g_hostOpen1(path);
  if (file != -1) HostBoundary([path] { NoteFileWritten(path); });
  return file;
}

int32_t QM_REGISTER Open2Hook(const char* path) {
  const int32_t file = g_hostOpen2(path);
  if (file != -1) HostBoundary([path] { NoteFileWritten(path); });
  return file;
}

// CodeInsight's symbol query opens units by relative paths: it runs in the
// compiler's current directory (as the last ClearDirs saw it), which is put
// back afterwards, also when the query raises. Without that directory the
// query runs as it is.
int32_t __stdcall KibitzGetValidSymbolsHook(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  wchar_t target[MAX_PATH + 2] = {};
  HostBoundary([&] {
    if (g_compilerDirs && g_compilerDirs->CurrentDir.size() <= MAX_PATH)
      g_compilerDirs->CurrentDir.copy(target, g_compilerDirs->CurrentDir.size());
  });
  if (!target[0]) return g_hostKibitz(a, b, c, d);
  struct TFrame {
    wchar_t Saved[MAX_PATH + 2];
    uint32_t Arguments[4];
    int32_t Result;
  } frame = {{}, {a, b, c, d}, 0};
  const DWORD length = GetCurrentDirectoryW(MAX_PATH + 2, frame.Saved);
  if (length == 0 || length > MAX_PATH) return g_hostKibitz(a, b, c, d);
  SetCurrentDirectoryW(target);
  HostTryFinally(
      [](void* data) {
        auto* f = static_cast<TFrame*>(data);
        f->Result = g_hostKibitz(f->Arguments[0], f->Arguments[1], f->Arguments[2], f->Arguments[3]);
      },
      &frame, [](void* data) { SetCurrentDirectoryW(static_cast<TFrame*>(data)->Saved); });
  return frame.Result;
}

void QM_REGISTER OnCurrentDirChanged() {
  if (g_previousNotifier) g_previousNotifier();
  g_curDirChanged = true;
}

} // namespace

// The compiler's state changed: the caches are rebuilt before the next answer.
extern "C" void QmSetCompStateHook() asm("QmSetCompStateHook");
asm(".text\n"
    ".balign 16\n"
    "QmSetCompStateHook:\n"
    "  movb $1, QmDirsDirty\n"
    "  jmp *QmHostSetCompState\n");

bool ShouldAbort() {
  const bool abort = !OnIdeMainThread() && ParserShouldYield();
  g_parserAbort = abort;
  return abort;
}

uint32_t QM_REGISTER CachedFileAge(char* path) {
  return HostBoundary([path]() -> uint32_t { return CachedAge(path); });
}

uint32_t QM_REGISTER CachedFileSearch(const char* dir, uint32_t kind, const char* name, char* result, void* reserved) {
  return HostBoundary([&]() -> uint32_t { return Search(dir, kind, name, result, reserved); });
}

void NoteFileWritten(const char* path) {
  if (!g_directoryCache) return;
  if (g_searchResults) g_searchResults->DropFound(path);
  TDirEntry* dir = KnownDirectoryOf(path);
  // A directory not listed (the parser yields) sees the file when it is.
  if (!dir || !g_directoryCache->List(dir)) return;
  const char* name = Utf8ExtractFileName(path);
  TFileEntry* file = dir->FindFile(name);
  if (!file) {
    file = dir->AddFile(name, AgeNotRead);
    if (dir->InSearchPath)
      for (int32_t kind : {1, 5})
        if ((dir->KindMask & (1u << kind)) && !g_directoryCache->KindIndex.Find(name, kind)) {
          file->FullPath = path;
          g_directoryCache->KindIndex.Add(name, kind, file);
        }
  }
  file->Age = AgeNotRead;
}

TDirectoryCache* FileSearchDirectoryCache() { return g_directoryCache.get(); }
TCompilerDirInfos* FileSearchCompilerDirs() { return g_compilerDirs.get(); }
TFileNameDictionary* FileSearchResults() { return g_searchResults.get(); }

namespace {

TPatchPlan FileSearchCachePlan() {
  TPatchPlan plan(FileSearchCache, L"Compiler optimizations (FileSearch cache)");
  TSiteRef search = plan.Pattern(L"FileSearch", Dcc, Patterns::FileSearch, SearchLimit);
  plan.RedirectOrgCall(search, &CachedFileSearch, reinterpret_cast<void**>(&g_hostSearch));
  return plan;
}

TPatchPlan KibitzGetValidSymbolsPlan() {
  TPatchPlan plan(L"Compiler.KibitzGetValidSymbols", L"KibitzGetValidSymbols current directory fix");
  plan.TriedOnlyAfter({FileSearchCache});
  TSiteRef query = plan.Export(L"KibitzGetValidSymbols", Dcc, "KibitzGetValidSymbols");
  plan.RedirectOrgCall(query, &KibitzGetValidSymbolsHook, reinterpret_cast<void**>(&g_hostKibitz));
  return plan;
}

TPatchPlan DirectorySearchPlan() {
  TPatchPlan plan(L"Compiler.DirectorySearch", L"Directory search cache");
  plan.Needs({L"Compiler.BackgroundCompilerFileExists"});  // the file-age slot
  TSiteRef setCompState = plan.Export(L"SetCompState", Dcc, "SetCompState");
  TSiteRef addDir = plan.Pattern(L"AddDir", Dcc, Patterns::AddDir, NoLimit);
  TSiteRef clearDirs = plan.Pattern(L"ClearDirs", Dcc, Patterns::ClearDirs, NoLimit);
  TSiteRef open1 = plan.Pattern(L"Open1", Dcc, Patterns::Open1, NoLimit);
  TSiteRef open2 = plan.PatternFrom(L"Open2", open1, 0, Patterns::Open2, 0x1000);
  TCaptureRef lists = plan.Operand(clearDirs, 0x08);
  plan.RedirectOrgCall(addDir, &AddDirHook, reinterpret_cast<void**>(&g_hostAddDir));
  plan.RedirectOrgCall(clearDirs, &ClearDirsHook, reinterpret_cast<void**>(&g_hostClearDirs));
  plan.RedirectOrgCall(open1, &Open1Hook, reinterpret_cast<void**>(&g_hostOpen1));
  plan.RedirectOrgCall(open2, &Open2Hook, reinterpret_cast<void**>(&g_hostOpen2));
  plan.RedirectOrgCall(setCompState, &QmSetCompStateHook, &g_hostSetCompState);
  plan.OnCommit([=](const TPlanValues& v) {
    g_hostLists = v.Get<TSearchDirNode**>(lists);
    g_compilerDirs = std::make_unique<TCompilerDirInfos>();
    g_unsavedFiles = std::make_unique<TUnsavedFileCache>();
    g_directoryCache = std::make_unique<TDirectoryCache>(g_unsavedFiles.get(), &ShouldAbort);
    g_hostFileAge = FileAgeSlot;
    FileAgeSlot = &CachedFileAge;
  });
  plan.OnRollback([] {
    FileAgeSlot = g_hostFileAge;
    g_directoryCache.reset();
    g_unsavedFiles.reset();
    g_compilerDirs.reset();
  });
  return plan;
}

void FinalizeCompilerFileSearch() {
  // The hooks are gone: the library undid every transaction before this.
  if (g_notifierRegistered) UnregisterChangeDirectoryNotifier(g_previousNotifier);
  g_notifierRegistered = false;
  g_searchResults.reset();
  g_searchDirNames.reset();
  g_directoryCache.reset();
  g_unsavedFiles.reset();
  g_compilerDirs.reset();
}

void InitializeCompilerFileSearch() { AddWizardInitProc(&InstallCompilerFileSearch); }

} // namespace

std::vector<TPatchPlan> CompilerFileSearchPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(FileSearchCachePlan());
  plans.push_back(KibitzGetValidSymbolsPlan());
  plans.push_back(DirectorySearchPlan());
  return plans;
}

void InstallCompilerFileSearch() {
  NoteIdeMainThread();
  ResolveParserThread();
  for (TPatchPlan& plan : CompilerFileSearchPlans()) InstallPlan(plan);
  if (g_directoryCache && !g_notifierRegistered) {
    g_previousNotifier = RegisterChangeDirectoryNotifier(&OnCurrentDirChanged);
    g_notifierRegistered = true;
  }
}

const TUnitInfo Unit_CompilerFileSearch = {"CompilerFileSearch", &InitializeCompilerFileSearch,
                                           &FinalizeCompilerFileSearch, &CompilerFileSearchPlans};

} // namespace Quillmend
