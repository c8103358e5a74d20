// The stand-in compiler's RSM store and lookup, driver interface, declared
// once for bds.exe's dccrsm workload, the tests and the benchmark.
#pragma once

#include <cstdint>

#include "Common/HostLayout.h"

namespace DccRsmDriver {

namespace Export {
constexpr const char* Store = "DccRsmStore";      // eax = record, edx = element index
constexpr const char* Lookup = "DccRsmLookup";    // Q: eax = key → the element's size
constexpr const char* Merge1 = "DccRsmMerge1";    // R1
constexpr const char* Merge2 = "DccRsmMerge2";    // R2
constexpr const char* V1 = "DccRsmV1";            // DATA
constexpr const char* V2 = "DccRsmV2";            // DATA
constexpr const char* Limit = "DccRsmLimit";      // DATA: the lookup's cache is used while below the entries
constexpr const char* Current = "DccRsmCurrent";  // DATA: the record the cache answers for
constexpr const char* Count = "DccRsmCount";      // DATA: the key it answers for
constexpr const char* Reset = "DccRsmReset";
constexpr const char* StoreNew = "DccRsmStoreNew";
constexpr const char* Live = "DccRsmLive";
constexpr const char* Checksum = "DccRsmChecksum";
} // namespace Export

using StoreFn = void(QM_HOST_REGISTER*)(void* record, int32_t index);
using LookupFn = int32_t(QM_HOST_REGISTER*)(int32_t key);
// A table of `elements` empty elements; everything before freed.
using ResetFn = void(__stdcall*)(int32_t elements);
// A record with a new block of `size` bytes (its content from index and
// size) stored into element `index` (merge: the record's flag bit 0, the
// host's merge path).
using StoreNewFn = void(__stdcall*)(int32_t index, int32_t size, int32_t merge);
// Blocks of the compiler's memory live now.
using LiveFn = int32_t(__stdcall*)();
// FNV over every element's block (its bytes) and size.
using ChecksumFn = uint32_t(__stdcall*)();

} // namespace DccRsmDriver
