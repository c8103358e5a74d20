// The stand-in compiler's file-name routines, driver interface: the four
// routines the compiler runs over the file names it keeps (zero-terminated
// UTF-8), their character routines, and a batch that calls them in turn
// over a list of paths.
#pragma once

#include <cstdint>
#include <string>

#include "Common/HostLayout.h"

namespace DccFileNamesDriver {

namespace Export {
constexpr const char* BaseNameLength = "DccBaseNameLength";  // X1, searched
constexpr const char* DirLength = "DccDirLength";            // X2, searched
constexpr const char* FileExt = "DccFileExt";                // X3, searched
constexpr const char* ExtractDir = "DccExtractDir";          // X4, searched
constexpr const char* LeadBytes = "DccLeadBytes";            // DATA: 256 bytes, nonzero for a lead byte
constexpr const char* CharNext = "DccCharNext";
constexpr const char* CharBoundary = "DccCharBoundary";      // X4's call at +0x1B
constexpr const char* Run = "DccFileNamesRun";
} // namespace Export

// X1(text, length) → the length of the name without its extension: the
// offset of the last '.' behind the last '\', '/' or ':', else length.
using BaseNameLengthFn = int32_t(QM_HOST_REGISTER*)(const char* text, int32_t length);
// X2(text, length) → the length of the directory part: just behind the last
// '\', '/' or ':', else 0.
using DirLengthFn = int32_t(QM_HOST_REGISTER*)(const char* text, int32_t length);
// X3(text) → text + X1(text, its length).
using FileExtFn = const char*(QM_HOST_REGISTER*)(const char* text);
// X4(source, dest): the directory part copied to dest (unless dest is
// source) and terminated there.
using ExtractDirFn = void(QM_HOST_REGISTER*)(const char* source, char* dest);
// The next character's address (p at a lead byte).
using CharNextFn = const char*(QM_HOST_REGISTER*)(const char* p);
// The last character start at or before text + length, as an offset.
using CharBoundaryFn = int32_t(QM_HOST_REGISTER*)(const char* text, int32_t length);
// `calls` calls over `paths` in turn (X1, X2, X3, X4, X1, ...; path i mod
// count, its length measured once beforehand): FNV over every answer (X4:
// the text written).
using RunFn = uint32_t(__stdcall*)(const char* const* paths, int32_t count, int32_t calls);

// A project's file name `i` of exactly `length` bytes (ShortestPath on): a
// drive, directories, "Unit<n>.pas"; every fifth with '/', every seventh
// without extension, every eleventh with a non-ASCII directory (cut where
// the length ends, even inside a character).
constexpr int ShortestPath = 16;
inline std::string ProjectPath(int i, int length) {
  static const char* const dirs[] = {"Projects", "Quill", "Source", "Compiler", "Shared", "lib", "Vendor"};
  const std::string file = "Unit" + std::to_string(i % 1000) + (i % 7 == 3 ? "" : ".pas");
  const char separator = i % 5 == 2 ? '/' : '\\';
  std::string dir = "C:";
  for (int d = 0; dir.size() + 1 + file.size() < size_t(length); ++d) {
    dir += separator;
    dir += i % 11 == 4 && d == 2 ? "\xC3\xA9t\xC3\xA9" : dirs[(i + d) % 7];
  }
  dir.resize(size_t(length) - 1 - file.size());
  return dir + separator + file;
}

} // namespace DccFileNamesDriver
