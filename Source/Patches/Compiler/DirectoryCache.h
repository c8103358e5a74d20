// The directory cache of the compiler's file search: every search directory
// listed once per cache generation, its files answered from memory by name,
// and per search-list kind (1: sources, 5: compiled units) an index of every
// file the kind's directories hold, the first directory in list order
// winning, as the compiler's own search finds it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Patches/Compiler/FileSearchTables.h"

namespace Quillmend {

class TUnsavedFileCache;

// An age not read yet (the file was written since, or only an editor knows it).
constexpr uint32_t AgeNotRead = 0xFFFFFFFFu;

struct TFileEntry {
  uint32_t Age = AgeNotRead;
  std::string Name;      // UTF-8, as written on disk
  std::string FullPath;  // set for entries in the per-kind index
};

struct TDirEntry {
  int32_t RefCount = 0;         // keys the directory is registered under
  std::wstring Path;            // expanded, no trailing delimiter
  std::string PathUtf8;
  // Name → TFileEntry (kind 0); null until listed. A listing cut short by
  // the parser's yield is dropped: a listing counts once it ran to its end.
  std::unique_ptr<TEntryDictionary> Files;
  std::vector<std::unique_ptr<TFileEntry>> FileEntries;
  uint8_t InSearchPath = 0;     // in a list of kind 1 or 5
  uint8_t KindMask = 0;         // bit k: queued for kind k

  TFileEntry* FindFile(const char* name) const;
  TFileEntry* AddFile(const std::string& name, uint32_t age);
};

struct TFoundFilesDirItem {
  std::string Path;  // the directory as the compiler gave it
  TDirEntry* Dir;
};

// The compiler's search lists and current directory as the hooks saw them.
class TCompilerDirInfos {
public:
  static constexpr int Kinds = 8;
  bool Changed = true;
  std::wstring CurrentDir;
  std::vector<std::string> Lists[Kinds];

  void Add(int32_t kind, const char* path);  // kinds above 7 ignored; sets Changed
  void Clear();                             // sets Changed
  void CopyFrom(const TCompilerDirInfos& other);
  // Same current directory ignoring case, every list equal element by element.
  bool Equals(const TCompilerDirInfos& other) const;
  // Reads the current directory (at most 261 characters); when it differs
  // ordinally from CurrentDir, stores it, sets Changed and answers true.
  bool CheckCurrentDir();
};

class TDirectoryCache {
public:
  using TShouldAbort = bool (*)();
  TDirectoryCache(TUnsavedFileCache* unsaved, TShouldAbort shouldAbort);

  TEntryDictionary Directories{128};  // key → TDirEntry
  TCompilerDirInfos Snapshot;         // the search lists the cache was built for
  std::vector<TFoundFilesDirItem> Pending[TCompilerDirInfos::Kinds];
  TEntryDictionary KindIndex{10000};  // (name, kind) → TFileEntry
  uint32_t Listings = 0;              // directories listed (to their end)

  bool HoldsDirectories() const { return !FEntries.empty(); }
  // Releases every registration (the entries with their files), the pending
  // lists, the snapshot and both dictionaries.
  void Empty();
  TDirEntry* Find(const char* key) const { return static_cast<TDirEntry*>(Directories.Find(key)); }
  // The entry of a directory (null for kinds above 6), registered under the
  // directory as given, its expanded form and its other form (a trailing
  // backslash removed or added).
  TDirEntry* GetDir(int32_t kind, const char* dir);
  // GetDir, and for kinds 1 and 5 the directory queued for the kind's index.
  void RegisterSearchDir(int32_t kind, const char* dir);
  // Lists the directory once (FindFirstFileExW with a large fetch where the
  // system has it); false when the parser's yield cut it short (nothing kept).
  bool List(TDirEntry* dir);
  // Merges the kind's pending directories into the index in list order;
  // false when the parser's yield stopped it (the rest stays pending).
  bool MergePending(int32_t kind);

private:
  void Register(const std::string& key, TDirEntry* dir);

  TUnsavedFileCache* FUnsaved;
  TShouldAbort FShouldAbort;
  std::vector<std::unique_ptr<TDirEntry>> FEntries;
};

// A DOS date/time of local time from a file's last-write time; 0 when it cannot be converted.
uint32_t DosAgeOfFileTime(uint32_t low, uint32_t high);
// "C:\dir\" for a path (the part up to its last delimiter), "" without one.
std::string DirectoryPart(const char* path);
// Delimiter-joined path of a directory and a name.
std::string JoinPath(const std::string& dir, const std::string& name);

} // namespace Quillmend
