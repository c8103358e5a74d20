// The stand-in compiler's debugger file table, driver interface, declared
// once for bds.exe's dccfileindex workload, the tests and the benchmark.
#pragma once

#include <cstdint>

#include "Common/HostLayout.h"

namespace DccFileTableDriver {

namespace Export {
constexpr const char* Free = "DccFileTableFree";        // F: eax = table
constexpr const char* Add = "DccFileTableAdd";          // G: eax = name record, edx = table, ecx = index
constexpr const char* Index = "DccFileIndex";           // I: eax = table, edx = path
constexpr const char* FullName = "DccFileFullName";     // the routine called at N+2: eax = entry
constexpr const char* New = "DccFileTableNew";
constexpr const char* Delete = "DccFileTableDelete";
constexpr const char* SetDirectory = "DccFileTableSetDirectory";
constexpr const char* AddName = "DccFileTableAddName";
constexpr const char* Counters = "DccFileCounters";
constexpr const char* RaiseAfter = "DccFileRaiseAfter";
constexpr const char* Reset = "DccFileReset";
} // namespace Export

// The table and its entries as the compiler keeps them.
struct TFileTable {
  int32_t Count;     // 0x00
  int32_t Capacity;  // 0x04
  uint8_t* Entries;  // 0x08: 24-byte entries
  const char* Directory;  // 0x0C: given to the entries added next (null: none)
};
struct TFileEntry {
  uint32_t Flags;        // 0x00
  const uint8_t* Name;   // 0x04: the name record, its text 11 bytes in
  char* FullName;        // 0x08: made when first asked
  const char* Directory; // 0x0C
  int32_t Index;         // 0x10: 0 or less: the 1-based position
  uint32_t Reserved;     // 0x14
};
constexpr int32_t NameTextOffset = 11;

struct TCounters {
  int32_t Compares;   // the compiler's file-name comparisons
  int32_t FullNames;  // full names asked for
  int32_t Tables;     // tables live
};

using FreeFn = void(QM_HOST_REGISTER*)(TFileTable* table);
using AddFn = int32_t(QM_HOST_REGISTER*)(const uint8_t* nameRecord, TFileTable* table, int32_t index);
using IndexFn = int32_t(QM_HOST_REGISTER*)(TFileTable* table, const char* path);
using FullNameFn = const char*(QM_HOST_REGISTER*)(TFileEntry* entry);
// An empty table, and one freed (F, then the record).
using NewFn = TFileTable*(__stdcall*)();
using DeleteFn = void(__stdcall*)(TFileTable* table);
// The directory the entries added next get (copied; null or "" for none).
using SetDirectoryFn = void(__stdcall*)(TFileTable* table, const char* directory);
// A name record of `text` made and added through G → the entry's position.
using AddNameFn = int32_t(__stdcall*)(TFileTable* table, const char* text, int32_t index);
using CountersFn = void(__stdcall*)(TCounters* counters);
// The n-th full name made from now raises a host exception (0: never).
using RaiseAfterFn = void(__stdcall*)(int32_t n);
// Counters to 0; name records and directories made so far freed (their
// tables must be gone).
using ResetFn = void(__stdcall*)();

} // namespace DccFileTableDriver
