// The stand-in compiler's file side, driver and exports: the compiler's
// own exports (SetCompState, KibitzGetValidSymbols, CompilerSetCallbacks)
// and the driver of the dccfiles workload: a project tree on disk and its
// compile passes, every step through the compiler's routines' entry points,
// so whatever the pack redirected is what runs.
#include "DccFiles.h"
#include "DccFilesDriver.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

using namespace DccFiles;

#define DCC_EXPORT extern "C"

namespace {

// ---- the project tree ------------------------------------------------------------

struct TTreeUnit {
  std::string Name;
  int Dir = 0;
  bool Source = true, Include = true, Compiled = true;  // on disk
};

struct TTree {
  bool Made = false;
  std::wstring Root;
  std::string RootUtf8;
  std::vector<std::string> DirNames;
  std::vector<TTreeUnit> Units;
  uint32_t Seed = 0;
  int LastPass = 0;
} g_tree;

uint32_t g_outputHash = 2166136261u;
uint32_t g_outputBytes = 0;
std::vector<TCheckedUnit*> g_units;  // made by DccFilesNewUnit

uint32_t Mix(uint32_t h, uint32_t value) {
  for (int i = 0; i < 4; ++i) h = (h ^ ((value >> (8 * i)) & 0xFF)) * 16777619u;
  return h;
}

uint32_t MixText(uint32_t h, const char* text, bool foldCase) {
  for (const char* p = text; *p; ++p) {
    char c = *p;
    if (foldCase && c >= 'A' && c <= 'Z') c = char(c + 32);
    h = (h ^ uint8_t(c)) * 16777619u;
  }
  return (h ^ 0xFF) * 16777619u;
}

// Fixed times (UTC): the tree at T0; compiled units a day later; the
// compile of pass p at T0 + 1 day + p hours; a touch before pass p half an
// hour before that compile.
constexpr int64_t Second = 10000000;
constexpr int64_t Hour = 3600 * Second;
constexpr int64_t Day = 24 * Hour;
int64_t T0() {
  SYSTEMTIME t = {2021, 3, 4, 4, 10, 20, 30, 0};
  FILETIME f;
  SystemTimeToFileTime(&t, &f);
  return (int64_t(f.dwHighDateTime) << 32) | f.dwLowDateTime;
}
FILETIME AsFileTime(int64_t t) { return FILETIME{DWORD(t), DWORD(t >> 32)}; }
int64_t CompileTime(int pass) { return T0() + Day + pass * Hour; }

const char* const DirStyles[] = {"Units%02d", "LIB%02d", "K\xC3\xA4se%02d", "mixedCase%02d"};

std::string DirName(int d) {
  char text[32];
  std::snprintf(text, sizeof text, DirStyles[d % 4], d);
  return text;
}

std::string UnitName(int u) {
  char text[32];
  std::snprintf(text, sizeof text, u % 7 == 3 ? "Proj.\xC3\x9Cnit%04d" : "Proj.Unit%04d", u);
  return text;
}

// ASCII letters in another case where the seed says so.
std::string Varied(const std::string& text, uint32_t salt) {
  std::string out = text;
  uint32_t h = Mix(2166136261u, salt);
  for (size_t i = 0; i < out.size(); ++i) {
    h = Mix(h, uint32_t(i));
    char& c = out[i];
    if ((h & 3) != 0) continue;
    if (c >= 'a' && c <= 'z') c = char(c - 32);
    else if (c >= 'A' && c <= 'Z') c = char(c + 32);
  }
  return out;
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  return text;
}

bool Missing(uint32_t seed, int u, int kind) { return Mix(Mix(seed, uint32_t(u)), uint32_t(kind)) % 10 == 0; }

bool WriteWholeFile(const std::wstring& path, const std::string& content, int64_t time) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, content.data(), DWORD(content.size()), &written, nullptr) && written == content.size();
  const FILETIME t = AsFileTime(time);
  ok = SetFileTime(file, nullptr, nullptr, &t) && ok;
  CloseHandle(file);
  return ok;
}

bool SetTime(const std::wstring& path, int64_t time) {
  HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const FILETIME t = AsFileTime(time);
  const bool ok = SetFileTime(file, nullptr, nullptr, &t);
  CloseHandle(file);
  return ok;
}

// Removes a directory tree (the workload's own).
void RemoveTree(const std::wstring& dir) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((dir + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(dir + L"\\" + name);
      else
        DeleteFileW((dir + L"\\" + name).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(dir.c_str());
}

std::string SourceText(const TTreeUnit& unit, int u) {
  char text[400];
  std::snprintf(text, sizeof text,
                "unit %s;\r\ninterface\r\nprocedure Run%d;\r\nfunction Value%d: Integer;\r\nimplementation\r\n"
                "{$I %sI.inc}\r\nend.\r\n",
                unit.Name.c_str(), u, u, unit.Name.c_str());
  return text;
}

// The search lists of the project, as the IDE gives them.
std::string SourceDirEntry(int d) {
  if (d % 2 == 0) return "src\\" + g_tree.DirNames[size_t(d)];
  return g_tree.RootUtf8 + "\\src\\" + Varied(g_tree.DirNames[size_t(d)], uint32_t(d)) + "\\";
}

void SetSearchLists() {
  DccClearDirs();
  DccAddDir(0, "inc");
  for (int d = 0; d < int(g_tree.DirNames.size()); ++d) DccAddDir(1, SourceDirEntry(d).c_str());
  DccAddDir(1, "$(BDS)\\lib\\%Platform%");  // a macro the IDE did not expand
  DccAddDir(1, SourceDirEntry(0).c_str());   // given twice
  DccAddDir(5, "out");
  for (int d = 0; d < int(g_tree.DirNames.size()); ++d) DccAddDir(5, SourceDirEntry(d).c_str());
  DccAddDir(7, "out");
}

TCandidate* Candidates(const std::vector<std::string>& paths) {
  TCandidate* first = nullptr;
  TCandidate** next = &first;
  for (const std::string& path : paths) {
    auto* node = static_cast<TCandidate*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TCandidate) + path.size()));
    std::memcpy(node->Path, path.c_str(), path.size() + 1);
    *next = node;
    next = &node->Next;
  }
  return first;
}

TFileNode* FileNodes(const std::vector<std::string>& paths) {
  TFileNode* first = nullptr;
  TFileNode** next = &first;
  for (const std::string& path : paths) {
    auto* node = static_cast<TFileNode*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TFileNode) + path.size()));
    node->Checked = 1;
    std::memcpy(node->Path, path.c_str(), path.size() + 1);
    *next = node;
    next = &node->Next;
  }
  return first;
}

TCheckedUnit* NewCheckedUnit(const std::string& name, const std::vector<std::string>& compiled,
                             const std::vector<std::string>& sources, const std::vector<std::string>& files) {
  auto* unit = static_cast<TCheckedUnit*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TCheckedUnit)));
  auto* symbol = static_cast<TUnitSymbol*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TUnitSymbol) + name.size()));
  std::memcpy(symbol->Name, name.c_str(), name.size() + 1);
  unit->Symbol = symbol;
  unit->CompiledCandidates = Candidates(compiled);
  unit->SourceCandidates = Candidates(sources);
  unit->Files = FileNodes(files);
  return unit;
}

template <class Node>
void FreeList(Node* node) {
  while (node) {
    Node* next = node->Next;
    HeapFree(GetProcessHeap(), 0, node);
    node = next;
  }
}

void FreeCheckedUnit(TCheckedUnit* unit) {
  FreeList(unit->CompiledCandidates);
  FreeList(unit->SourceCandidates);
  FreeList(unit->Files);
  HeapFree(GetProcessHeap(), 0, unit->Symbol);
  HeapFree(GetProcessHeap(), 0, unit);
}

std::vector<std::string> Split(const char* text) {
  std::vector<std::string> parts;
  if (!text || !*text) return parts;
  std::string all = text;
  for (size_t start = 0;;) {
    size_t bar = all.find('|', start);
    parts.push_back(all.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return parts;
}

void FoldOutput(uint32_t hash, uint32_t bytes) {
  g_outputHash = Mix(Mix(g_outputHash, hash), bytes);
  g_outputBytes += bytes;
}

// The compiled unit: written through the output routine, given the pass's
// compile time (deterministic, so that ages compare across runs).
void CompileUnit(const std::string& path, const std::string& name, int pass) {
  const int32_t handle = DccOpen1(path.c_str());
  if (handle == -1) return;
  char content[128];
  const int length = std::snprintf(content, sizeof content, "DCU %s pass %d\n", name.c_str(), pass);
  DWORD written = 0;
  HANDLE file = reinterpret_cast<HANDLE>(intptr_t(handle));
  WriteFile(file, content, DWORD(length), &written, nullptr);
  const FILETIME t = AsFileTime(CompileTime(pass));
  SetFileTime(file, nullptr, nullptr, &t);
  CloseHandle(file);
  uint32_t hash = 2166136261u;
  for (DWORD i = 0; i < written; ++i) hash = (hash ^ uint8_t(content[i])) * 16777619u;
  FoldOutput(hash, written);
}

std::string MapText(uint32_t bytes, const std::vector<std::string>* names) {
  std::string text;
  text.reserve(bytes + 100);
  char line[128];
  for (uint32_t i = 0; text.size() < bytes; ++i) {
    const char* name = names && !names->empty() ? (*names)[i % names->size()].c_str() : "Symbol";
    int n = std::snprintf(line, sizeof line, " 0001:%08X       %-40.40s %06u", i * 16u, name, i);
    std::string record(line, size_t(n));
    record.resize(99, ' ');
    record += '\n';
    text += record;
  }
  text.resize(bytes);
  return text;
}

int32_t WriteMapFile(const char* path, const std::string& text, uint32_t* writes) {
  const uint32_t before = Counters().WriteCalls;
  TFile* file = DccOpenFile(path, "wt");
  if (!file) return -1;
  const uint32_t written = FileWrite(file, text.data(), uint32_t(text.size()));
  const uint32_t hash = file->Hash, bytes = file->Bytes;
  FileClose(file);
  FoldOutput(hash, bytes);
  if (writes) *writes = Counters().WriteCalls - before;
  return written == text.size() ? 0 : -1;
}

} // namespace

// ---- the compiler's own exports ------------------------------------------------------------


DCC_EXPORT void __stdcall CompilerSetCallbacks(const DccFilesDriver::TCallbacks* callbacks) {
  DccFileCallbacks = const_cast<TCallbacks*>(callbacks);
}

// The unit is read by the path the compiler was given, relative to the
// current directory.
DCC_EXPORT int32_t __stdcall KibitzGetValidSymbols(const char* fileName, char* symbols, int32_t size, int32_t) {
  HANDLE file = CreateFileW(Wide(fileName).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  std::string text;
  char chunk[4096];
  DWORD read = 0;
  while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read) text.append(chunk, read);
  CloseHandle(file);
  std::string list;
  int32_t count = 0;
  for (const char* keyword : {"procedure ", "function "}) {
    for (size_t at = text.find(keyword); at != std::string::npos; at = text.find(keyword, at + 1)) {
      size_t start = at + std::strlen(keyword), end = start;
      while (end < text.size() && (isalnum(uint8_t(text[end])) || text[end] == '_')) ++end;
      if (!list.empty()) list += ';';
      list += text.substr(start, end - start);
      ++count;
    }
  }
  if (symbols && size > 0) {
    const size_t n = list.size() < size_t(size - 1) ? list.size() : size_t(size - 1);
    std::memcpy(symbols, list.data(), n);
    symbols[n] = '\0';
  }
  return count;
}

// ---- the driver --------------------------------------------------------------------------------

DCC_EXPORT void __stdcall DccFilesReset() {
  ResetFileState();
  for (TCheckedUnit* unit : g_units) FreeCheckedUnit(unit);
  g_units.clear();
}

DCC_EXPORT int32_t __stdcall DccFilesMakeTree(const wchar_t* root, int32_t dirs, int32_t filesPerDir, int32_t units,
                                            uint32_t seed) {
  if (dirs < 1 || units < 1 || filesPerDir < 1) return -1;
  RemoveTree(root);
  g_tree = TTree{};
  g_tree.Root = root;
  g_tree.RootUtf8 = Utf8(root);
  g_tree.Seed = seed;
  for (const wchar_t* sub : {L"", L"\\src", L"\\out", L"\\inc"})
    if (!CreateDirectoryW((g_tree.Root + sub).c_str(), nullptr)) return -1;
  const int64_t t0 = T0();
  int32_t files = 0;
  for (int d = 0; d < dirs; ++d) {
    g_tree.DirNames.push_back(DirName(d));
    if (!CreateDirectoryW((g_tree.Root + L"\\src\\" + Wide(DirName(d).c_str())).c_str(), nullptr)) return -1;
  }
  std::vector<int> perDir(size_t(dirs), 0);
  for (int u = 0; u < units; ++u) {
    TTreeUnit unit;
    unit.Name = UnitName(u);
    unit.Dir = u % dirs;
    unit.Source = !Missing(seed, u, 1);
    unit.Compiled = !Missing(seed, u, 5);
    unit.Include = !Missing(seed, u, 0);
    const std::wstring dir = g_tree.Root + L"\\src\\" + Wide(g_tree.DirNames[size_t(unit.Dir)].c_str()) + L"\\";
    const std::wstring name = Wide(unit.Name.c_str());
    const int64_t own = t0 + (u % 50) * 2 * Second;
    if (unit.Source && !WriteWholeFile(dir + name + L".pas", SourceText(unit, u), own)) return -1;
    if (unit.Include && !WriteWholeFile(dir + name + L"I.inc", "{ settings }\r\n", own + 120 * Second)) return -1;
    if (unit.Compiled && !WriteWholeFile(g_tree.Root + L"\\out\\" + name + L".dcu", "DCU " + unit.Name + "\n", t0 + Day))
      return -1;
    files += unit.Source + unit.Include + unit.Compiled;
    perDir[size_t(unit.Dir)] += unit.Source + unit.Include;
    g_tree.Units.push_back(unit);
  }
  for (int d = 0; d < dirs; ++d) {
    const std::wstring dir = g_tree.Root + L"\\src\\" + Wide(g_tree.DirNames[size_t(d)].c_str()) + L"\\";
    for (int f = perDir[size_t(d)]; f < filesPerDir; ++f) {
      wchar_t name[64];
      std::swprintf(name, 64, f % 3 ? L"Form%03d.dfm" : L"notes%03d.TXT", f);
      if (!WriteWholeFile(dir + name, "filler\r\n", t0 - Day)) return -1;
      ++files;
    }
  }
  files += WriteWholeFile(g_tree.Root + L"\\inc\\Common.inc", "{ common }\r\n", t0);
  g_tree.Made = true;
  return files;
}

DCC_EXPORT int32_t __stdcall DccFilesTouch(int32_t percent, uint32_t seed) {
  if (!g_tree.Made) return -1;
  const int64_t when = CompileTime(g_tree.LastPass + 1) - Hour / 2;
  int32_t touched = 0;
  for (size_t u = 0; u < g_tree.Units.size(); ++u) {
    const TTreeUnit& unit = g_tree.Units[u];
    if (Mix(seed, uint32_t(u)) % 100 >= uint32_t(percent)) continue;
    const std::wstring dir = g_tree.Root + L"\\src\\" + Wide(g_tree.DirNames[size_t(unit.Dir)].c_str()) + L"\\";
    const std::wstring name = Wide(unit.Name.c_str());
    // Every other touched unit has its include changed instead of its source.
    const bool include = (touched % 2) == 1 && unit.Include;
    if (include ? SetTime(dir + name + L"I.inc", when) : unit.Source && SetTime(dir + name + L".pas", when)) ++touched;
  }
  return touched;
}

DCC_EXPORT int32_t __stdcall DccFilesRunPass(int32_t pass, DccFilesDriver::TPassResult* result) {
  if (!g_tree.Made || !result) return -1;
  *result = DccFilesDriver::TPassResult{};
  g_tree.LastPass = pass;
  SetCurrentDirectoryW(g_tree.Root.c_str());
  SetSearchLists();
  const TCounters before = Counters();
  const uint32_t runsBefore[4] = {DccCheckRuns[0], DccCheckRuns[1], DccCheckRuns[2], DccCheckRuns[3]};
  g_outputHash = 2166136261u;
  g_outputBytes = 0;
  uint32_t answers = 2166136261u;
  char found[264];
  auto search = [&](const char* dir, int kind, const std::string& name) {
    const uint32_t age = DccFileSearch(dir, kind, name.c_str(), found, nullptr);
    ++result->Searches;
    result->Found += age != 0;
    answers = MixText(Mix(answers, age), age ? found : "", true);
    return age;
  };
  std::vector<TCheckedUnit*> checked;
  const std::string outDir = "out\\";
  for (size_t u = 0; u < g_tree.Units.size(); ++u) {
    const TTreeUnit& unit = g_tree.Units[u];
    const std::string dirEntry = SourceDirEntry(unit.Dir);
    std::vector<std::string> compiled, sources, files;
    if (search(nullptr, 1, Varied(unit.Name, uint32_t(u)) + ".pas")) {
      sources.push_back(found);
      files.push_back(found);
    }
    sources.push_back(dirEntry + (dirEntry.back() == '\\' ? "" : "\\") + unit.Name + ".pas");
    if (search(nullptr, 5, Lower(unit.Name) + ".dcu")) compiled.push_back(found);
    compiled.push_back(outDir + unit.Name + ".dcu");
    if (search(dirEntry.c_str(), 0, Varied(unit.Name + "I.inc", uint32_t(u) + 7))) files.push_back(found);
    checked.push_back(NewCheckedUnit(unit.Name, compiled, sources, files));
  }
  // A unit only an editor holds (found through the IDE's file age, or not at all).
  search(nullptr, 1, "Proj.Unsaved.pas");
  result->Answers = answers;
  uint32_t recompiled = 2166136261u;
  std::vector<std::string> names;
  for (size_t u = 0; u < checked.size(); ++u) {
    names.push_back(g_tree.Units[u].Name);
    if (!DccUnitOutdated(checked[u])) continue;
    ++result->Recompiled;
    recompiled = MixText(recompiled, g_tree.Units[u].Name.c_str(), false);
    CompileUnit(outDir + g_tree.Units[u].Name + ".dcu", g_tree.Units[u].Name, pass);
  }
  for (TCheckedUnit* unit : checked) FreeCheckedUnit(unit);
  result->RecompiledSet = recompiled;
  if (result->Recompiled) {
    WriteMapFile("out\\Proj.map", MapText(uint32_t(names.size()) * 100, &names), nullptr);
    std::snprintf(DccDrcFileName, sizeof DccDrcFileName, "out\\Proj.drc");
    DccWriteDrc(&DccDrcOption, int32_t(result->Recompiled));
  }
  result->BytesWritten = g_outputBytes;
  result->Written = g_outputHash;
  result->CheckAgeCalls = Counters().CheckAgeCalls - before.CheckAgeCalls;
  result->WriteCalls = Counters().WriteCalls - before.WriteCalls;
  for (int i = 0; i < 4; ++i) result->CheckRuns[i] = DccCheckRuns[i] - runsBefore[i];
  return 0;
}

DCC_EXPORT int32_t __stdcall DccFilesWriteMap(const char* path, uint32_t bytes) {
  uint32_t writes = 0;
  return WriteMapFile(path, MapText(bytes, nullptr), &writes) == 0 ? int32_t(writes) : -1;
}

DCC_EXPORT int32_t __stdcall DccFilesWriteDrc(const char* path, int32_t records, uint32_t* writes) {
  const uint32_t before = Counters().WriteCalls;
  std::snprintf(DccDrcFileName, sizeof DccDrcFileName, "%s", path);
  const int32_t result = DccWriteDrc(&DccDrcOption, records);
  if (writes) *writes = Counters().WriteCalls - before;
  return result;
}

DCC_EXPORT void* __stdcall DccFilesNewUnit(const char* name, const char* compiled, const char* sources,
                                           const char* files) {
  TCheckedUnit* unit = NewCheckedUnit(name, Split(compiled), Split(sources), Split(files));
  g_units.push_back(unit);
  return unit;
}

DCC_EXPORT void __stdcall DccFilesCounters(DccFilesDriver::TCounters* counters) {
  const TCounters& c = Counters();
  *counters = DccFilesDriver::TCounters{c.CheckAgeCalls, c.WriteCalls, c.DrcNotes, c.DiskAges,
                                        {DccCheckRuns[0], DccCheckRuns[1], DccCheckRuns[2], DccCheckRuns[3]}};
}

DCC_EXPORT void __stdcall DccFilesFailWritesAfter(int32_t bytes) { FailWritesAfter(bytes); }

DCC_EXPORT void* __stdcall DccFilesOpenFile(const char* path, const char* mode) { return DccOpenFile(path, mode); }

DCC_EXPORT uint32_t __stdcall DccFilesFileWrite(void* file, const void* data, uint32_t count) {
  return FileWrite(static_cast<TFile*>(file), data, count);
}

DCC_EXPORT int32_t __stdcall DccFilesCloseFile(void* file) { return FileClose(static_cast<TFile*>(file)); }

DCC_EXPORT int32_t __stdcall DccFilesSourcePath(int32_t unit, wchar_t* path, int32_t size) {
  if (!g_tree.Made || unit < -1 || unit >= int32_t(g_tree.Units.size())) return 0;
  const TTreeUnit& source = g_tree.Units[size_t(unit < 0 ? 0 : unit)];
  if (unit >= 0 && !source.Source) return 0;
  const std::wstring full = g_tree.Root + L"\\src\\" + Wide(g_tree.DirNames[size_t(source.Dir)].c_str()) + L"\\" +
                            (unit < 0 ? std::wstring(L"Proj.Unsaved") : Wide(source.Name.c_str())) + L".pas";
  if (int32_t(full.size()) >= size) return 0;
  full.copy(path, full.size());
  path[full.size()] = L'\0';
  return int32_t(full.size());
}

namespace {

// The definitions agree with the driver header.
namespace Declared = DccFilesDriver;
template <class A, class B>
constexpr bool Agrees(A, B) {
  return std::is_same_v<A, B>;
}
static_assert(Agrees(&SetCompState, Declared::SetCompStateFn()) &&
                  Agrees(&KibitzGetValidSymbols, Declared::KibitzGetValidSymbolsFn()) &&
                  Agrees(&CompilerSetCallbacks, Declared::SetCallbacksFn()),
              "the compiler's exports differ from DccFilesDriver.h");
static_assert(Agrees(&DccFilesReset, Declared::ResetFn()) && Agrees(&DccFilesMakeTree, Declared::MakeTreeFn()) &&
                  Agrees(&DccFilesRunPass, Declared::RunPassFn()) && Agrees(&DccFilesTouch, Declared::TouchFn()) &&
                  Agrees(&DccFilesWriteMap, Declared::WriteMapFn()) &&
                  Agrees(&DccFilesWriteDrc, Declared::WriteDrcFn()) && Agrees(&DccFilesNewUnit, Declared::NewUnitFn()) &&
                  Agrees(&DccFilesCounters, Declared::CountersFn()) &&
                  Agrees(&DccFilesFailWritesAfter, Declared::FailWritesAfterFn()) &&
                  Agrees(&DccFilesOpenFile, Declared::OpenFileFn()) &&
                  Agrees(&DccFilesFileWrite, Declared::FileWriteFn()) &&
                  Agrees(&DccFilesCloseFile, Declared::CloseFileFn()) &&
                  Agrees(&DccFilesSourcePath, Declared::SourcePathFn()),
              "driver exports differ from DccFilesDriver.h");
static_assert(Agrees(&DccFileAge, Declared::FileAgeFn()) &&
                  Agrees(&DccAddDir, Declared::AddDirFn()) && Agrees(&DccClearDirs, Declared::ClearDirsFn()) &&
                  Agrees(&DccOpen1, Declared::OpenFn()) && Agrees(&DccCheckAge, Declared::CheckAgeFn()),
              "compiler routines differ from DccFilesDriver.h");

} // namespace
