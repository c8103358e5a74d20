// The stand-in compiler's file work, the slow obvious way: a search tries
// each candidate path with one file-age call; the search lists are linked
// lists; ages come from the IDE's callback table or, without one, from the
// file system; output files are created through the callback table; the
// run-time's buffered file writes through a small buffer.
#include "DccFiles.h"

#include <cstring>
#include <string>
#include <vector>

using namespace DccFiles;

namespace {

TCounters g_counters;
int64_t g_failAfter = -1;  // writes fail from this byte on; -1: never
int64_t g_written = 0;

constexpr size_t PathLimit = 260;  // characters a result buffer holds, besides its terminator

char* CopyText(const char* text) {
  const size_t length = std::strlen(text);
  char* copy = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, length + 1));
  std::memcpy(copy, text, length + 1);
  return copy;
}

bool IsAbsolute(const char* name) { return name[0] == '\\' || (name[0] && name[1] == ':'); }

bool EndsWithDelimiter(const std::string& dir) { return !dir.empty() && (dir.back() == '\\' || dir.back() == '/'); }

void CopyResult(char* result, const char* path) {
  if (!result) return;
  size_t length = std::strlen(path);
  if (length > PathLimit) length = PathLimit;
  std::memcpy(result, path, length);
  result[length] = '\0';
}

uint32_t Fnv(uint32_t hash, const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 16777619u;
  return hash;
}

} // namespace

namespace DccFiles {

TCounters& Counters() { return g_counters; }

void FailWritesAfter(int64_t bytes) {
  g_failAfter = bytes;
  g_written = 0;
}

std::wstring Wide(const char* text) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring wide(size_t(length > 0 ? length - 1 : 0), L'\0');
  if (length > 1) MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), length);
  return wide;
}

std::string Utf8(const wchar_t* text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(size_t(length > 0 ? length - 1 : 0), '\0');
  if (length > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes.data(), length, nullptr, nullptr);
  return bytes;
}

uint32_t DosAgeOf(const FILETIME& lastWrite) {
  FILETIME local;
  WORD date = 0, time = 0;
  if (!FileTimeToLocalFileTime(&lastWrite, &local) || !FileTimeToDosDateTime(&local, &date, &time)) return 0;
  return (uint32_t(date) << 16) | time;
}

} // namespace DccFiles

// ---- file age without the IDE --------------------------------------------------------

uint32_t QM_HOST_REGISTER HostDiskFileAge(const char* path) {
  ++g_counters.DiskAges;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!path || !GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return 0;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
  return DosAgeOf(data.ftLastWriteTime);
}

// ---- files held in memory ---------------------------------------------------------------

DccFiles::TMemoryFile* QM_HOST_REGISTER HostNewMemoryFile(const char* name, uint32_t size) {
  const size_t nameSize = std::strlen(name) + 1;
  auto* node = static_cast<TMemoryFile*>(
      HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, offsetof(TMemoryFile, Name) + nameSize + size));
  std::memcpy(node->Name, name, nameSize);
  node->Data = node->Name + nameSize;  // where the routine copies the data
  return node;
}

// ---- the search ---------------------------------------------------------------------------

int __cdecl HostStrLen(const char* text) { return int(std::strlen(text)); }

// Candidates in order: the name itself when absolute (nothing else); the
// directory and the name (the name alone for an empty directory) when a
// directory is given; then each directory of the kind's list. A candidate
// longer than a result buffer holds is not tried.
uint32_t __cdecl HostSearchFile(const char* dir, int32_t kind, const char* name, int32_t dirLength, char* result) {
  std::vector<std::string> candidates;
  if (IsAbsolute(name)) {
    candidates.emplace_back(name);
  } else {
    if (dir) {
      std::string first(dir, size_t(dirLength));
      if (!first.empty() && !EndsWithDelimiter(first)) first += '\\';
      candidates.push_back(first + name);
    }
    if (kind >= 0 && kind < 8)
      for (TSearchDir* node = DccSearchLists[kind]; node; node = node->Next) candidates.push_back(node->Form2 + std::string(name));
  }
  for (const std::string& candidate : candidates) {
    if (candidate.size() > PathLimit) continue;
    char path[PathLimit + 1];
    std::memcpy(path, candidate.c_str(), candidate.size() + 1);
    if (uint32_t age = DccFileAge(path)) {
      CopyResult(result, path);
      return age;
    }
  }
  CopyResult(result, name);
  return 0;
}

// ---- the search lists -----------------------------------------------------------------------

void QM_HOST_REGISTER HostCopyDirectory(const char* dir, char* buffer) {
  size_t length = dir ? std::strlen(dir) : 0;
  if (length > 0x207) length = 0x207;
  if (length) std::memcpy(buffer, dir, length);
  buffer[length] = '\0';
}

// Appended at the end of the kind's list as given (no directory is checked
// or expanded); an empty directory or a kind above 7 is ignored.
void QM_HOST_REGISTER HostAppendSearchDir(int32_t kind, const char* dir) {
  if (kind < 0 || kind > 7 || !*dir) return;
  auto* node = static_cast<TSearchDir*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TSearchDir)));
  node->Dir = CopyText(dir);
  std::string form2 = dir;
  if (!EndsWithDelimiter(form2)) form2 += '\\';
  node->Form2 = CopyText(form2.c_str());
  TSearchDir** tail = &DccSearchLists[kind];
  while (*tail) tail = &(*tail)->Next;
  *tail = node;
}

void QM_HOST_REGISTER HostFreeSearchDir(TSearchDir* node) {
  HeapFree(GetProcessHeap(), 0, node->Dir);
  HeapFree(GetProcessHeap(), 0, node->Form2);
  HeapFree(GetProcessHeap(), 0, node);
}

// ---- output files ------------------------------------------------------------------------------

int32_t QM_HOST_REGISTER HostCreateOutput(const char* path, int32_t) {
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? -1 : int32_t(reinterpret_cast<intptr_t>(file));
}

// ---- the outdated check's file-age calls ---------------------------------------------------

uint32_t QM_HOST_REGISTER HostCheckAge(const char* path, char* buffer) {
  ++g_counters.CheckAgeCalls;
  CopyResult(buffer, path);
  return DccFileAge(buffer);
}

uint32_t QM_HOST_REGISTER DccFindFileAge(const char* dir, int32_t kind, const char* name, char* result,
                                         void* reserved) {
  ++g_counters.CheckAgeCalls;
  return DccFileSearch(dir, kind, name, result, reserved);
}

// ---- the run-time's files ----------------------------------------------------------------------

uint32_t __cdecl DccRawWrite(TFile* file, const void* buffer, uint32_t count) {
  ++g_counters.WriteCalls;
  uint32_t allowed = count;
  if (g_failAfter >= 0) {
    const int64_t room = g_failAfter - g_written;
    allowed = room <= 0 ? 0 : uint32_t(room < int64_t(count) ? room : count);
  }
  DWORD written = 0;
  if (allowed && !WriteFile(file->Handle, buffer, allowed, &written, nullptr)) written = 0;
  g_written += written;
  file->Hash = Fnv(file->Hash, buffer, written);
  file->Bytes += written;
  return written;
}

// The input bytes of a text write whose output is written in full: the
// output before this buffer, then this buffer's bytes up to `written` (a
// CR LF made of a line feed counts once, and only when both were written).
int32_t __cdecl HostPartialTextWrite(const uint8_t* frame, const uint8_t* inputStart, const uint8_t* inputPosition,
                                     uint32_t buffered, uint32_t written) {
  const uint8_t* buffer = frame - 0x208;
  const uint32_t outputBefore = *reinterpret_cast<const uint32_t*>(frame - 8);
  if (outputBefore == 0 && written == 0) return -1;
  uint32_t inBuffer = 0, complete = 0;
  for (uint32_t i = 0; i < buffered; ++i, ++inBuffer) {
    const bool pair = buffer[i] == 0x0D && i + 1 < buffered && buffer[i + 1] == 0x0A;
    if (pair) ++i;
    if (i < written) ++complete;
  }
  const uint32_t inputBefore = uint32_t(inputPosition - inputStart) - inBuffer;
  return int32_t(inputBefore + complete);
}

int32_t __cdecl HostSetFileBuffer(TFile* file, void* buffer, int32_t mode, uint32_t size) {
  if (FileFlush(file) != 0) return -1;
  if (file->Flags & FileOwnBuffer) HeapFree(GetProcessHeap(), 0, file->Buffer);
  file->Flags &= ~FileOwnBuffer;
  file->Buffer = nullptr;
  file->Size = 0;
  if (mode == 2 || size == 0) return 0;
  if (!buffer) {
    buffer = HeapAlloc(GetProcessHeap(), 0, size);
    if (!buffer) return -1;
    file->Flags |= FileOwnBuffer;
  }
  file->Buffer = static_cast<uint8_t*>(buffer);
  file->Size = size;
  return 0;
}

void __cdecl HostDrcNote(int32_t, const char*) { ++g_counters.DrcNotes; }

// Mode "w..." with "t" for a text file; created through the output routine.
DccFiles::TFile* QM_HOST_REGISTER DccOpenFile(const char* name, const char* mode) {
  const int32_t handle = DccOpen2(name);
  if (handle == -1) return nullptr;
  auto* file = static_cast<TFile*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TFile)));
  file->Handle = reinterpret_cast<HANDLE>(intptr_t(handle));
  file->Flags = (std::strchr(mode, 't') ? FileText : 0) | FileOwnBuffer;
  file->Buffer = static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), 0, DefaultBufferSize));
  file->Size = DefaultBufferSize;
  file->Token = uint8_t(reinterpret_cast<uintptr_t>(file));
  file->Hash = 2166136261u;
  return file;
}

void QM_HOST_REGISTER HostWriteDrcRecords(TFile* file, int32_t records) {
  char record[100];
  for (int32_t i = 0; i < records; ++i) {
    std::memset(record, ' ', sizeof record);
    const int n = wsprintfA(record, "RES %08d %08X", i, unsigned(i) * 2654435761u);
    record[n] = ' ';
    record[sizeof record - 1] = '\n';
    FileWrite(file, record, sizeof record);
  }
  FileClose(file);
}

namespace DccFiles {

namespace {

uint32_t Emit(TFile* file, const void* data, uint32_t count) {
  if (file->Flags & FileText) {
    const uint32_t written = DccWriteText(file, data, count);
    return written == 0xFFFFFFFFu ? 0 : written;
  }
  return DccRawWrite(file, data, count);
}

} // namespace

int32_t FileFlush(TFile* file) {
  if (!file->Level) return 0;
  const uint32_t level = file->Level;
  file->Level = 0;
  return Emit(file, file->Buffer, level) == level ? 0 : -1;
}

uint32_t FileWrite(TFile* file, const void* data, uint32_t count) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  // Unbuffered, or more than the buffer holds: written directly.
  if (file->Size == 0 || count >= file->Size) {
    if (FileFlush(file) != 0) return 0;
    return Emit(file, bytes, count);
  }
  uint32_t done = 0;
  while (done < count) {
    uint32_t part = file->Size - file->Level;
    if (part > count - done) part = count - done;
    std::memcpy(file->Buffer + file->Level, bytes + done, part);
    file->Level += part;
    done += part;
    if (file->Level == file->Size && FileFlush(file) != 0) return done - part;
  }
  return done;
}

int32_t FileClose(TFile* file) {
  const int32_t flushed = FileFlush(file);
  CloseHandle(file->Handle);
  if (file->Flags & FileOwnBuffer) HeapFree(GetProcessHeap(), 0, file->Buffer);
  HeapFree(GetProcessHeap(), 0, file);
  return flushed;
}

void ResetFileState() {
  DccClearDirs();
  while (TMemoryFile* node = DccMemoryFiles) {
    DccMemoryFiles = node->Next;
    HeapFree(GetProcessHeap(), 0, node);
  }
  g_counters = TCounters{};
  std::memset(DccCheckRuns, 0, sizeof DccCheckRuns);
  g_failAfter = -1;
  g_written = 0;
}

} // namespace DccFiles
