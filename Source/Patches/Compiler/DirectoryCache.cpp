#include "Patches/Compiler/DirectoryCache.h"

#include <windows.h>

#include "Hooking/TextCompare.h"
#include "Hooking/Utf8Conversion.h"
#include "Patches/Compiler/UnsavedFileCache.h"

namespace Quillmend {

namespace {

constexpr int32_t FilesCapacity = 200;
constexpr int AbortPollInterval = 50;
constexpr size_t OtherFormLimit = 259;
constexpr DWORD IgnoredAttributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;

bool IsDelimiter(char c) { return c == '\\' || c == '/'; }

// Windows 7 or later: the listing may ask for the basic information and a large fetch.
bool HasLargeFetch() {
  static const bool has = [] {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&info)) return false;
#pragma GCC diagnostic pop
    return info.dwMajorVersion > 6 || (info.dwMajorVersion == 6 && info.dwMinorVersion >= 1);
  }();
  return has;
}

std::wstring Expand(const std::string& dir) {
  const std::wstring wide = FromUtf8(dir);
  wchar_t buffer[MAX_PATH * 2];
  DWORD length = wide.empty() ? GetCurrentDirectoryW(DWORD(std::size(buffer)), buffer)
                              : GetFullPathNameW(wide.c_str(), DWORD(std::size(buffer)), buffer, nullptr);
  if (length == 0 || length >= std::size(buffer)) return wide;
  std::wstring expanded(buffer, length);
  if (expanded.size() > 1 && (expanded.back() == L'\\' || expanded.back() == L'/')) expanded.pop_back();
  return expanded;
}

} // namespace

uint32_t DosAgeOfFileTime(uint32_t low, uint32_t high) {
  const FILETIME utc = {low, high};
  FILETIME local;
  WORD date = 0, time = 0;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToDosDateTime(&local, &date, &time)) return 0;
  return (uint32_t(date) << 16) | time;
}

std::string DirectoryPart(const char* path) { return std::string(path, size_t(Utf8ExtractFileName(path) - path)); }

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty() || IsDelimiter(dir.back())) return dir + name;
  return dir + "\\" + name;
}

// ---- TDirEntry --------------------------------------------------------------------------

TFileEntry* TDirEntry::FindFile(const char* name) const {
  return Files ? static_cast<TFileEntry*>(Files->Find(name)) : nullptr;
}

TFileEntry* TDirEntry::AddFile(const std::string& name, uint32_t age) {
  FileEntries.push_back(std::make_unique<TFileEntry>());
  TFileEntry* entry = FileEntries.back().get();
  entry->Name = name;
  entry->Age = age;
  Files->Add(name.c_str(), 0, entry);
  return entry;
}

// ---- TCompilerDirInfos ----------------------------------------------------------------------

void TCompilerDirInfos::Add(int32_t kind, const char* path) {
  if (kind < 0 || kind >= Kinds) return;
  Lists[kind].emplace_back(path);
  Changed = true;
}

void TCompilerDirInfos::Clear() {
  for (std::vector<std::string>& list : Lists) list.clear();
  Changed = true;
}

void TCompilerDirInfos::CopyFrom(const TCompilerDirInfos& other) {
  CurrentDir = other.CurrentDir;
  for (int k = 0; k < Kinds; ++k) Lists[k] = other.Lists[k];
  Changed = true;
}

bool TCompilerDirInfos::Equals(const TCompilerDirInfos& other) const {
  if (CompareStringOrdinal(CurrentDir.c_str(), int(CurrentDir.size()), other.CurrentDir.c_str(),
                           int(other.CurrentDir.size()), TRUE) != CSTR_EQUAL)
    return false;
  for (int k = 0; k < Kinds; ++k)
    if (Lists[k] != other.Lists[k]) return false;
  return true;
}

bool TCompilerDirInfos::CheckCurrentDir() {
  wchar_t buffer[262];
  const DWORD length = GetCurrentDirectoryW(262, buffer);
  const std::wstring current(buffer, length < 262 ? length : 0);
  if (current == CurrentDir) return false;
  CurrentDir = current;
  Changed = true;
  return true;
}

// ---- TDirectoryCache ---------------------------------------------------------------------------

TDirectoryCache::TDirectoryCache(TUnsavedFileCache* unsaved, TShouldAbort shouldAbort)
    : FUnsaved(unsaved), FShouldAbort(shouldAbort) {}

void TDirectoryCache::Empty() {
  for (std::vector<TFoundFilesDirItem>& pending : Pending) pending.clear();
  Directories.Clear(128);
  KindIndex.Clear(10000);
  Snapshot.Clear();
  Snapshot.CurrentDir.clear();
  FEntries.clear();
}

void TDirectoryCache::Register(const std::string& key, TDirEntry* dir) {
  if (Directories.Find(key.c_str())) return;
  Directories.Add(key.c_str(), 0, dir);
  ++dir->RefCount;
}

TDirEntry* TDirectoryCache::GetDir(int32_t kind, const char* dir) {
  if (kind >= 7 || !dir) return nullptr;
  if (TDirEntry* known = Find(dir)) return known;
  const std::wstring expanded = Expand(dir);
  const std::string key = ToUtf8(expanded);
  TDirEntry* entry = Find(key.c_str());
  if (!entry) {
    FEntries.push_back(std::make_unique<TDirEntry>());
    entry = FEntries.back().get();
    entry->Path = expanded;
    entry->PathUtf8 = key;
    Register(key, entry);
  }
  const std::string given = dir;
  Register(given, entry);
  if (!given.empty()) {
    const std::string other = IsDelimiter(given.back()) ? given.substr(0, given.size() - 1) : given + "\\";
    if (other.size() <= OtherFormLimit && !other.empty()) Register(other, entry);
  }
  return entry;
}

void TDirectoryCache::RegisterSearchDir(int32_t kind, const char* dir) {
  TDirEntry* entry = GetDir(kind, dir);
  if (!entry || (kind != 1 && kind != 5)) return;
  entry->InSearchPath = 1;
  if (entry->KindMask & (1u << kind)) return;
  entry->KindMask = uint8_t(entry->KindMask | (1u << kind));
  Pending[kind].push_back(TFoundFilesDirItem{dir, entry});
}

bool TDirectoryCache::List(TDirEntry* dir) {
  if (dir->Files) return true;
  auto files = std::make_unique<TEntryDictionary>(FilesCapacity);
  if (FShouldAbort()) return false;
  std::vector<std::unique_ptr<TFileEntry>> entries;
  const std::wstring mask = dir->Path + L"\\*";
  WIN32_FIND_DATAW found;
  HANDLE search = HasLargeFetch() ? FindFirstFileExW(mask.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                                     nullptr, FIND_FIRST_EX_LARGE_FETCH)
                                  : FindFirstFileW(mask.c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    int seen = 0;
    do {
      if (seen++ % AbortPollInterval == 0 && FShouldAbort()) {
        FindClose(search);
        return false;
      }
      if (found.dwFileAttributes & IgnoredAttributes) continue;
      entries.push_back(std::make_unique<TFileEntry>());
      entries.back()->Name = ToUtf8(found.cFileName);
      entries.back()->Age = DosAgeOfFileTime(found.ftLastWriteTime.dwLowDateTime, found.ftLastWriteTime.dwHighDateTime);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  dir->Files = std::move(files);
  dir->FileEntries = std::move(entries);
  for (const std::unique_ptr<TFileEntry>& entry : dir->FileEntries) dir->Files->Add(entry->Name.c_str(), 0, entry.get());
  // What the IDE's editors hold overrides the disk.
  if (const std::vector<TUnsavedFile>* unsaved = FUnsaved ? FUnsaved->Find((dir->PathUtf8 + "\\").c_str()) : nullptr) {
    for (const TUnsavedFile& file : *unsaved) {
      if (TFileEntry* listed = dir->FindFile(file.Name.c_str()))
        listed->Age = file.Age;
      else
        dir->AddFile(file.Name, file.Age);
    }
  }
  ++Listings;
  return true;
}

bool TDirectoryCache::MergePending(int32_t kind) {
  std::vector<TFoundFilesDirItem>& pending = Pending[kind];
  size_t merged = 0;
  for (; merged < pending.size(); ++merged) {
    const TFoundFilesDirItem& item = pending[merged];
    if (!List(item.Dir)) break;
    for (const std::unique_ptr<TFileEntry>& file : item.Dir->FileEntries) {
      if (KindIndex.Find(file->Name.c_str(), kind)) continue;
      file->FullPath = JoinPath(item.Path, file->Name);
      KindIndex.Add(file->Name.c_str(), kind, file.get());
    }
  }
  pending.erase(pending.begin(), pending.begin() + std::ptrdiff_t(merged));
  return pending.empty();
}

} // namespace Quillmend
