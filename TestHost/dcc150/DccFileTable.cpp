// Around the debugger's file table (DccFileTable.S): the routines F, G
// and I call, name records, directories and the driver. Memory from the
// process heap.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "DccFileTableDriver.h"

using namespace DccFileTableDriver;

namespace {

constexpr size_t NameRoom = 260;   // the lookup's buffer for the path's name part
constexpr size_t PathRoom = 780;   // and for the path

volatile LONG g_compares = 0;
volatile LONG g_fullNames = 0;
volatile LONG g_tables = 0;
volatile LONG g_raiseAfter = 0;

// Name records and directory texts, kept until DccFileReset.
std::mutex g_madeLock;
std::vector<void*> g_made;

void* Made(size_t size) {
  void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
  std::lock_guard<std::mutex> lock(g_madeLock);
  g_made.push_back(block);
  return block;
}

uint8_t Upper(char c) { return uint8_t(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c); }

std::wstring Wide(const char* text) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring wide(size_t(length > 0 ? length : 1), L'\0');
  if (length > 0) MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], length);
  wide.resize(wide.size() - 1);
  return wide;
}

}  // namespace

extern "C" {

void QM_HOST_REGISTER DccFileTableFree(TFileTable* table) QM_HOST_SYMBOL(DccFileTableFree);
int32_t QM_HOST_REGISTER DccFileTableAdd(const uint8_t* record, TFileTable* table, int32_t index)
    QM_HOST_SYMBOL(DccFileTableAdd);
int32_t QM_HOST_REGISTER DccFileIndex(TFileTable* table, const char* path) QM_HOST_SYMBOL(DccFileIndex);

void QM_HOST_REGISTER DccFileFreeText(void* text) QM_HOST_SYMBOL(DccFileFreeText);
void QM_HOST_REGISTER DccFileFreeText(void* text) { HeapFree(GetProcessHeap(), 0, text); }

void QM_HOST_REGISTER DccFileFreeArray(void* entries) QM_HOST_SYMBOL(DccFileFreeArray);
void QM_HOST_REGISTER DccFileFreeArray(void* entries) {
  if (entries) HeapFree(GetProcessHeap(), 0, entries);
}

// Room for twice as many entries (16 at first) in a new array; the old one freed.
void QM_HOST_REGISTER DccFileTableGrow(TFileTable* table) QM_HOST_SYMBOL(DccFileTableGrow);
void QM_HOST_REGISTER DccFileTableGrow(TFileTable* table) {
  const int32_t capacity = table->Capacity < 8 ? 16 : table->Capacity * 2;
  auto* entries = static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size_t(capacity) * 24));
  if (table->Entries) {
    std::memcpy(entries, table->Entries, size_t(table->Count) * 24);
    HeapFree(GetProcessHeap(), 0, table->Entries);
  }
  table->Entries = entries;
  table->Capacity = capacity;
}

// Just behind the last '\' or '/' of a text, or the text.
const char* QM_HOST_REGISTER DccFileNamePart(const char* text) QM_HOST_SYMBOL(DccFileNamePart);
const char* QM_HOST_REGISTER DccFileNamePart(const char* text) {
  const char* name = text;
  for (const char* p = text; *p; ++p)
    if (*p == '\\' || *p == '/') name = p + 1;
  return name;
}

// The path's name part into the lookup's buffer (cut to its room).
void QM_HOST_REGISTER DccFilePathName(const char* path, char* buffer) QM_HOST_SYMBOL(DccFilePathName);
void QM_HOST_REGISTER DccFilePathName(const char* path, char* buffer) {
  const char* name = DccFileNamePart(path ? path : "");
  size_t i = 0;
  for (; name[i] && i < NameRoom - 1; ++i) buffer[i] = name[i];
  buffer[i] = 0;
}

// The path with ASCII letters upper-cased (cut to its room).
void QM_HOST_REGISTER DccFileUpperPath(const char* path, char* buffer) QM_HOST_SYMBOL(DccFileUpperPath);
void QM_HOST_REGISTER DccFileUpperPath(const char* path, char* buffer) {
  size_t i = 0;
  for (; path && path[i] && i < PathRoom - 1; ++i) buffer[i] = char(Upper(path[i]));
  buffer[i] = 0;
}

// The name part upper-cased: the upper-cased path's tail of its length.
void QM_HOST_REGISTER DccFileUpperName(char* name, const char* upperPath) QM_HOST_SYMBOL(DccFileUpperName);
void QM_HOST_REGISTER DccFileUpperName(char* name, const char* upperPath) {
  const size_t length = std::strlen(name), pathLength = std::strlen(upperPath);
  if (pathLength >= length)
    std::memcpy(name, upperPath + pathLength - length, length);
  else
    for (size_t i = 0; i < length; ++i) name[i] = char(Upper(name[i]));
}

// The compiler's file-name comparison (0: the same file): ASCII letters
// ignoring case; where both names differ in a non-ASCII byte, the whole
// names as UTF-16 ignoring case.
int32_t QM_HOST_REGISTER DccFileCompare(const char* a, const char* b) QM_HOST_SYMBOL(DccFileCompare);
int32_t QM_HOST_REGISTER DccFileCompare(const char* a, const char* b) {
  InterlockedIncrement(&g_compares);
  for (size_t i = 0;; ++i) {
    if (a[i] == b[i]) {
      if (!a[i]) return 0;
      continue;
    }
    if ((a[i] & 0x80) && (b[i] & 0x80)) {
      const std::wstring wa = Wide(a), wb = Wide(b);
      return CompareStringOrdinal(wa.c_str(), int(wa.size()), wb.c_str(), int(wb.size()), TRUE) - CSTR_EQUAL;
    }
    if (Upper(a[i]) != Upper(b[i])) return Upper(a[i]) < Upper(b[i]) ? -1 : 1;
  }
}

// The entry's full name: its directory and its name record's text, made
// at the first question and kept in the entry (F frees it).
const char* QM_HOST_REGISTER DccFileFullName(TFileEntry* entry) QM_HOST_SYMBOL(DccFileFullName);
const char* QM_HOST_REGISTER DccFileFullName(TFileEntry* entry) {
  InterlockedIncrement(&g_fullNames);
  if (entry->FullName) return entry->FullName;
  if (g_raiseAfter > 0 && InterlockedDecrement(&g_raiseAfter) == 0) {
    // A bare host exception, as the compiler's memory raises one.
    ULONG_PTR params[7] = {};
    params[0] = reinterpret_cast<ULONG_PTR>(__builtin_return_address(0));
    RaiseException(0x0EEDFADE, EXCEPTION_NONCONTINUABLE, 7, params);
  }
  const char* directory = entry->Directory ? entry->Directory : "";
  const char* text = reinterpret_cast<const char*>(entry->Name + NameTextOffset);
  const size_t d = std::strlen(directory), t = std::strlen(text);
  auto* full = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, d + t + 1));
  std::memcpy(full, directory, d);
  std::memcpy(full + d, text, t + 1);
  entry->FullName = full;
  return full;
}

// How many characters a full name and the upper-cased path share at their
// ends, ASCII letters upper-cased.
int32_t QM_HOST_REGISTER DccFileTailLength(const char* fullName, const char* upperPath)
    QM_HOST_SYMBOL(DccFileTailLength);
int32_t QM_HOST_REGISTER DccFileTailLength(const char* fullName, const char* upperPath) {
  size_t a = std::strlen(fullName), b = std::strlen(upperPath);
  int32_t shared = 0;
  while (a > 0 && b > 0 && Upper(fullName[a - 1]) == uint8_t(upperPath[b - 1])) {
    --a;
    --b;
    ++shared;
  }
  return shared;
}

TFileTable* __stdcall DccFileTableNew() {
  InterlockedIncrement(&g_tables);
  return static_cast<TFileTable*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TFileTable)));
}

void __stdcall DccFileTableDelete(TFileTable* table) {
  DccFileTableFree(table);
  HeapFree(GetProcessHeap(), 0, table);
  InterlockedDecrement(&g_tables);
}

void __stdcall DccFileTableSetDirectory(TFileTable* table, const char* directory) {
  if (!directory || !*directory) {
    table->Directory = nullptr;
    return;
  }
  auto* copy = static_cast<char*>(Made(std::strlen(directory) + 1));
  std::strcpy(copy, directory);
  table->Directory = copy;
}

// Name record (our layout before the text): {0x00 0, 0x04 a hash byte,
// 0x08 the text's length (16 bits), 0x0A 0}.
int32_t __stdcall DccFileTableAddName(TFileTable* table, const char* text, int32_t index) {
  const size_t length = std::strlen(text);
  auto* record = static_cast<uint8_t*>(Made(NameTextOffset + length + 1));
  uint8_t hash = 0;
  for (size_t i = 0; i < length; ++i) hash = uint8_t(hash * 31 + Upper(text[i]));
  record[4] = hash;
  const uint16_t stored = uint16_t(length);
  std::memcpy(record + 8, &stored, 2);
  std::memcpy(record + NameTextOffset, text, length + 1);
  return DccFileTableAdd(record, table, index);
}

void __stdcall DccFileCounters(TCounters* counters) {
  counters->Compares = g_compares;
  counters->FullNames = g_fullNames;
  counters->Tables = g_tables;
}

void __stdcall DccFileRaiseAfter(int32_t n) { g_raiseAfter = n; }

void __stdcall DccFileReset() {
  std::lock_guard<std::mutex> lock(g_madeLock);
  for (void* block : g_made) HeapFree(GetProcessHeap(), 0, block);
  g_made.clear();
  g_compares = g_fullNames = 0;
  g_raiseAfter = 0;
}

}  // extern "C"

static_assert(offsetof(TFileTable, Entries) == 0x08 && offsetof(TFileTable, Directory) == 0x0C, "table");
static_assert(sizeof(TFileEntry) == 24 && offsetof(TFileEntry, Name) == 0x04 && offsetof(TFileEntry, FullName) == 0x08 &&
                  offsetof(TFileEntry, Directory) == 0x0C && offsetof(TFileEntry, Index) == 0x10,
              "entry");
static_assert(std::is_same_v<decltype(&DccFileTableFree), FreeFn>, "Free");
static_assert(std::is_same_v<decltype(&DccFileTableAdd), AddFn>, "Add");
static_assert(std::is_same_v<decltype(&DccFileIndex), IndexFn>, "Index");
static_assert(std::is_same_v<decltype(&DccFileFullName), FullNameFn>, "FullName");
static_assert(std::is_same_v<decltype(&DccFileTableNew), NewFn>, "New");
static_assert(std::is_same_v<decltype(&DccFileTableDelete), DeleteFn>, "Delete");
static_assert(std::is_same_v<decltype(&DccFileTableSetDirectory), SetDirectoryFn>, "SetDirectory");
static_assert(std::is_same_v<decltype(&DccFileTableAddName), AddNameFn>, "AddName");
static_assert(std::is_same_v<decltype(&DccFileCounters), CountersFn>, "Counters");
static_assert(std::is_same_v<decltype(&DccFileRaiseAfter), RaiseAfterFn>, "RaiseAfter");
static_assert(std::is_same_v<decltype(&DccFileReset), ResetFn>, "Reset");
