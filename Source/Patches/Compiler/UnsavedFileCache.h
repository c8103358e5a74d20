// The files the IDE's editors hold, by directory: their ages override what
// the disk says, and a file only an editor has is found all the same. Read
// from the IDE's module services (BorlandIDEServices).
#pragma once

#include <cstdint>
#include <windows.h>
#include <memory>
#include <string>
#include <vector>

#include "Patches/Compiler/FileSearchTables.h"

namespace Quillmend {

struct TUnsavedFile {
  std::string Name;  // UTF-8 file name
  uint32_t Age;      // DOS date/time of the editor's modification, AgeNotRead when it has none
};

class TUnsavedFileCache {
public:
  // The module services' interface and the editor interface with the modification time.
  static const GUID ModuleServicesId;
  static const GUID EditorTimeId;

  bool Loaded = false;

  void Clear();
  // Reads every module of the IDE: a module without files gives its file
  // name (age not read), otherwise each file's editor its file name and, if
  // it has one, its modification time. Nothing without the services.
  void Load(void* ideServices);
  // The files of a directory (UTF-8, with its trailing delimiter); first
  // loaded from BorlandIDEServices when not loaded since the last Clear.
  const std::vector<TUnsavedFile>* Find(const char* dirWithDelimiter);
  // A file (full path) with its age.
  void Add(const std::wstring& fileName, uint32_t age);

private:
  TEntryDictionary FDirs{16};
  std::vector<std::unique_ptr<std::vector<TUnsavedFile>>> FLists;
};

// A DOS date/time of a local date-time (days since 1899-12-30 and the
// fraction of the day, seconds truncated to even); 0 outside 1980..2107.
uint32_t DosDateTimeOf(double dateTime);

} // namespace Quillmend
