// The stand-in IDE string hash table (vclide150.bpl, unit Collections),
// declared once for the stand-ins, bds.exe, the tests and the benchmarks.
//
// TCustomStringHashTable instance (0x48 bytes): [0x2C] bucket array (from
// the run-time's GetMem), [0x30] bucket count, [0x34] entry count, [0x38]
// hash function (register convention: key text in EAX, hash in EAX), [0x3C]
// comparison function (EAX, EDX → AL), [0x44] notifications so far.
// Entry (16 bytes, GetMem): [0] next, [4] stored hash, [8] key (a host
// string: pointer to its UTF-16 text), [12] value. A new entry is linked at
// the front of bucket (hash mod count) before "added" (0) is notified;
// "removed" is 1. The host's hash functions are plain: h := h * 2 + c (the
// case-insensitive one over ASCII upper case).
#pragma once

#include <windows.h>

#include <cstdint>

#include "Common/HostLayout.h"

namespace HashTableDriver {

namespace Export {
constexpr const char* Class = "@Collections@TCustomStringHashTable@";
constexpr const char* Create = "@Collections@TCustomStringHashTable@$bctr$qqrouid";
constexpr const char* Notify =
    "@Collections@TCustomStringHashTable@Notify$qqrp43Collections@TCustomHashTable@TBaseHashEntry51Collections@"
    "TCustomHashTable@THashTableNotification";
constexpr const char* Clear = "@Collections@TCustomHashTable@Clear$qqrv";
constexpr const char* Add = "@Collections@TCustomStringHashTable@Add$qqrx20System@UnicodeStringpv";
constexpr const char* Find = "@Collections@TCustomStringHashTable@Find$qqrx20System@UnicodeString";
constexpr const char* Remove = "@Collections@TCustomStringHashTable@Remove$qqrx20System@UnicodeString";
// Driver exports (stdcall).
constexpr const char* NewTable = "VclIdeNewHashTable";
constexpr const char* FreeTable = "VclIdeFreeHashTable";
constexpr const char* ChainStats = "VclIdeHashChainStats";
constexpr const char* PatternSite = "VclIdePatternSite";
}  // namespace Export

namespace Layout {
constexpr int Buckets = 0x2C, BucketCount = 0x30, Count = 0x34, HashFunction = 0x38, Compare = 0x3C,
              Notifications = 0x44, InstanceSize = 0x48;
}

struct Entry {
  Entry* Next;
  std::uint32_t Hash;
  const wchar_t* Key;
  void* Value;
};

// constructor Create(CaseSensitive: Boolean; BucketCount: Cardinal; Growth: Double):
// EAX = class, DL = 1, ECX = CaseSensitive, stack: BucketCount, Growth (callee pops 12).
using AddFn = void(QM_HOST_REGISTER*)(void* table, const wchar_t* key, void* value);
using FindFn = void*(QM_HOST_REGISTER*)(void* table, const wchar_t* key);
using RemoveFn = std::uint32_t(QM_HOST_REGISTER*)(void* table, const wchar_t* key);
using ClearFn = void(QM_HOST_REGISTER*)(void* table);
using HashFn = std::uint32_t(QM_HOST_REGISTER*)(const wchar_t* key);
// Driver (stdcall): a table made through the constructor; freed through TObject.Free.
using NewTableFn = void*(__stdcall*)(std::int32_t caseSensitive, std::uint32_t bucketCount);
using FreeTableFn = void(__stdcall*)(void* table);
// Longest chain and the sum of squared chain lengths (the cost of finding every key once).
struct ChainStats {
  std::uint32_t Longest;
  double SumOfSquares;
  std::uint32_t Used;
};
using ChainStatsFn = void(__stdcall*)(void* table, ChainStats* stats);
using PatternSiteFn = void*(__stdcall*)(const char* site);

template <class T>
T Bind(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(module ? GetProcAddress(module, name) : nullptr));
}

}  // namespace HashTableDriver
