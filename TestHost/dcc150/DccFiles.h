// The stand-in compiler's file side: records shared by its assembly
// (DccFilesCode.S, DccOutputCode.S) and its C++ (DccFiles.cpp), at the
// offsets the searched code uses. Paths are zero-terminated UTF-8 strings;
// file ages are DOS date/time values of local time (0: missing).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "Common/HostLayout.h"
#include "DccFilesDriver.h"

namespace DccFiles {

// The IDE's callback table (stdcall slots at the compiler's offsets).
using TCallbacks = DccFilesDriver::TCallbacks;
static_assert(offsetof(TCallbacks, CreateUnitOutput) == 0x04 && offsetof(TCallbacks, CreateOutput) == 0x08 &&
                  offsetof(TCallbacks, FileAge) == 0x20,
              "callback table layout");

// A search-list entry. The directory as given, and its second form: the
// same with a trailing backslash, which names are appended to.
struct TSearchDir {
  TSearchDir* Next;      // 0x00
  uint8_t Boundary;      // 0x04: nonzero ends the scan for duplicates
  uint8_t Pad05[3];
  char* Dir;             // 0x08
  char* Form2;           // 0x0C
};

// A file the compiler holds in memory (the name, then the data).
struct TMemoryFile {
  TMemoryFile* Next;     // 0x00
  void* Data;            // 0x04
  uint32_t Size;         // 0x08
  char Name[4];          // 0x0C
};

// A file of a unit (its source, its includes), checked against the
// compiled unit's time when Checked is set.
struct TFileNode {
  TFileNode* Next;       // 0x00
  uint8_t Pad04[6];
  uint8_t Checked;       // 0x0A
  char Path[1];          // 0x0B
};

// A candidate path for a time: the first that exists gives it.
struct TCandidate {
  TCandidate* Next;      // 0x00
  char Path[1];          // 0x04
};

struct TUnitSymbol {
  uint8_t Pad00[0x1E];
  char Name[2];          // 0x1E
};

// A unit as the outdated check sees it (the compiler's unit record, in the
// fields the check uses; the rest of the record is not modelled here).
struct TCheckedUnit {
  uint8_t Pad00[0x1C];
  uint32_t CompiledTime;          // 0x1C
  uint32_t Pad20;
  TFileNode* Files;               // 0x24
  uint8_t Pad28[0x58];
  TUnitSymbol* Symbol;            // 0x80
  TCandidate* CompiledCandidates; // 0x84
  TCandidate* SourceCandidates;   // 0x88
};
static_assert(offsetof(TCheckedUnit, CompiledTime) == 0x1C && offsetof(TCheckedUnit, Files) == 0x24 &&
                  offsetof(TCheckedUnit, Symbol) == 0x80 && offsetof(TCheckedUnit, SourceCandidates) == 0x88,
              "unit record fields of the outdated check");

// The run-time's buffered file.
struct TFile {
  HANDLE Handle;         // 0x00
  uint8_t* Buffer;       // 0x04
  uint32_t Size;         // 0x08: buffer size, 0 unbuffered
  uint32_t Level;        // 0x0C: bytes waiting in the buffer
  uint32_t Flags;        // 0x10: FileText, FileOwnBuffer
  uint8_t Pad14[3];
  uint8_t Token;         // 0x17: the low byte of the file's own address (a valid file)
  uint32_t Hash;         // FNV-1a of every byte written
  uint32_t Bytes;        // bytes written
};
static_assert(offsetof(TFile, Token) == 0x17, "file layout");
constexpr uint32_t FileText = 1, FileOwnBuffer = 2;
constexpr uint32_t DefaultBufferSize = 512;

} // namespace DccFiles

extern "C" {
// Variables (DccFilesCode.S, DccOutputCode.S).
extern DccFiles::TCallbacks* DccFileCallbacks asm("_DccFileCallbacks");
extern DccFiles::TSearchDir* DccSearchLists[8] asm("_DccSearchLists");
extern DccFiles::TMemoryFile* DccMemoryFiles asm("_DccMemoryFiles");
extern uint32_t DccCheckRuns[4] asm("_DccCheckRuns");
extern int32_t DccDrcOption asm("_DccDrcOption");
extern char DccDrcFileName[264] asm("_DccDrcFileName");
extern int32_t DccCompState asm("_DccCompState");
extern uint32_t DccCompStateChanges asm("_DccCompStateChanges");

// The compiler's routines (assembly, host register convention unless noted).
void __stdcall SetCompState(int32_t state) asm("_SetCompState@4");
uint32_t QM_HOST_REGISTER DccFileAge(const char* path) asm("_DccFileAge");
DccFiles::TMemoryFile* QM_HOST_REGISTER DccAddMemoryFile(const char* name, const void* data, uint32_t size)
    asm("_DccAddMemoryFile");
// dir, kind, name, then the stack arguments (reserved, result buffer), declared in reverse.
uint32_t QM_HOST_REGISTER DccFileSearch(const char* dir, int32_t kind, const char* name, char* result,
                                        void* reserved) asm("_DccFileSearch");
void QM_HOST_REGISTER DccAddDir(int32_t kind, const char* dir) asm("_DccAddDir");
void QM_HOST_REGISTER DccClearDirs() asm("_DccClearDirs");
int32_t QM_HOST_REGISTER DccOpen1(const char* path) asm("_DccOpen1");
int32_t QM_HOST_REGISTER DccOpen2(const char* path) asm("_DccOpen2");
int32_t QM_HOST_REGISTER DccUnitOutdated(DccFiles::TCheckedUnit* unit) asm("_DccUnitOutdated");
uint32_t QM_HOST_REGISTER DccCheckAge(const char* path, char* buffer) asm("_DccCheckAge");
uint32_t __cdecl DccWriteText(DccFiles::TFile* file, const void* data, uint32_t count) asm("_DccWriteText");
int32_t __cdecl DccSetBuffer(DccFiles::TFile* file, void* buffer, int32_t mode, uint32_t size) asm("_DccSetBuffer");
int32_t QM_HOST_REGISTER DccWriteDrc(int32_t* option, int32_t records) asm("_DccWriteDrc");

// The C++ side they call.
uint32_t QM_HOST_REGISTER HostDiskFileAge(const char* path) asm("HostDiskFileAge");
DccFiles::TMemoryFile* QM_HOST_REGISTER HostNewMemoryFile(const char* name, uint32_t size) asm("HostNewMemoryFile");
int __cdecl HostStrLen(const char* text) asm("HostStrLen");
uint32_t __cdecl HostSearchFile(const char* dir, int32_t kind, const char* name, int32_t dirLength, char* result)
    asm("HostSearchFile");
void QM_HOST_REGISTER HostCopyDirectory(const char* dir, char* buffer) asm("HostCopyDirectory");
void QM_HOST_REGISTER HostAppendSearchDir(int32_t kind, const char* dir) asm("HostAppendSearchDir");
void QM_HOST_REGISTER HostFreeSearchDir(DccFiles::TSearchDir* node) asm("HostFreeSearchDir");
int32_t QM_HOST_REGISTER HostCreateOutput(const char* path, int32_t kind) asm("HostCreateOutput");
uint32_t QM_HOST_REGISTER HostCheckAge(const char* path, char* buffer) asm("HostCheckAge");
// The call of the outdated check's file loop: counted, then the search.
uint32_t QM_HOST_REGISTER DccFindFileAge(const char* dir, int32_t kind, const char* name, char* result,
                                         void* reserved) asm("DccFindFileAge");
int32_t __cdecl HostPartialTextWrite(const uint8_t* frame, const uint8_t* inputStart, const uint8_t* inputPosition,
                                     uint32_t buffered, uint32_t written) asm("HostPartialTextWrite");
uint32_t __cdecl DccRawWrite(DccFiles::TFile* file, const void* buffer, uint32_t count) asm("_DccRawWrite");
int32_t __cdecl HostSetFileBuffer(DccFiles::TFile* file, void* buffer, int32_t mode, uint32_t size)
    asm("HostSetFileBuffer");
void __cdecl HostDrcNote(int32_t level, const char* message) asm("HostDrcNote");
DccFiles::TFile* QM_HOST_REGISTER DccOpenFile(const char* name, const char* mode) asm("_DccOpenFile");
void QM_HOST_REGISTER HostWriteDrcRecords(DccFiles::TFile* file, int32_t records) asm("HostWriteDrcRecords");
}

namespace DccFiles {

// The run-time's buffered file: writes through the buffer (text files
// through the text write), flushes, closes; -1/0 on failure as the run-time.
uint32_t FileWrite(TFile* file, const void* data, uint32_t count);
int32_t FileFlush(TFile* file);
int32_t FileClose(TFile* file);

// Counters of the file side (driver exports read them).
struct TCounters {
  uint32_t CheckAgeCalls;   // file-age calls of the outdated check (its two call targets)
  uint32_t WriteCalls;      // writes of the run-time's files
  uint32_t DrcNotes;
  uint32_t DiskAges;        // ages read by the compiler itself (no callback table)
};
TCounters& Counters();
// Writes fail from this byte on (a full disk): a write reaching it is cut
// there, later writes write nothing. -1: never.
void FailWritesAfter(int64_t bytes);

// A DOS date/time of local time from a file's last-write time; 0 for none.
uint32_t DosAgeOf(const FILETIME& lastWrite);
// UTF-8 to UTF-16 and back (no length limit).
std::wstring Wide(const char* text);
std::string Utf8(const wchar_t* text);

// Frees the search lists, the memory files, the checked units of the
// workload and resets the counters.
void ResetFileState();

} // namespace DccFiles
