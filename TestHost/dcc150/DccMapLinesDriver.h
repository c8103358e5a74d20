// The stand-in linker's map lines, driver interface: the formatted write W
// and the routine writing one entry of a map's line-number section M (a
// line of its own unless the map's flags & 3), through the run-time's
// buffered text file.
#pragma once

#include <cstdint>

#include "Common/HostLayout.h"

namespace DccMapLinesDriver {

namespace Export {
constexpr const char* Write = "DccMapPrintf";             // W, cdecl (file, format, ...)
constexpr const char* Line = "DccMapLine";               // the routine holding M
constexpr const char* WriteLines = "DccWriteLineNumbers";
constexpr const char* Writes = "DccMapPrintfCalls";      // DATA: W's calls
constexpr const char* Entries = "DccMapLineEntries";     // DATA: entries written (M's counter)
constexpr const char* Flags = "DccMapFlags";             // DATA: the map's flags (bits 0-1: no break)
constexpr const char* Break = "DccMapBreakText";         // DATA: "\n"
constexpr const char* Fields = "DccMapFieldsText";       // DATA: " %5ld %04X:%08lX"
} // namespace Export

// W: formats with the C run-time's rules and writes the text through the
// buffered file's text write; the count written.
using WriteFn = int32_t(__cdecl*)(void* file, const char* format, ...);
// One entry: line number, segment index (0..7), offset (stdcall; the file in ebx of M).
using LineFn = void(__stdcall*)(uint32_t offset, int32_t segment, int32_t line, void* file);
// A section of `count` entries (line numbers from 1, segments and offsets
// from the seed) written to `file`; the entry counter starts at 0.
using WriteLinesFn = void(__stdcall*)(void* file, int32_t count, uint32_t seed);

} // namespace DccMapLinesDriver
