// The stand-in compiler's token prefetch and its symbol texts, driver
// interface: the prefetch T takes a token buffer from its allocation
// routine and gives it back through its release routine (the compiler's
// memory manager underneath, counted); two routines measure a symbol's text
// with the C run-time's strlen, where a record whose first byte is 0 keeps
// its text's length at 0x28 (text at 0x30).
#pragma once

#include <cstdint>

#include "Common/HostLayout.h"

namespace DccTokensDriver {

namespace Export {
constexpr const char* Prefetch = "DccPrefetchToken";       // T
constexpr const char* BufAlloc = "DccTokenBufAlloc";       // the routine called at T+0x0B
constexpr const char* BufRelease = "DccTokenBufRelease";   // the routine called at T+0x27
constexpr const char* NextToken = "DccNextToken";
constexpr const char* ReleaseNil = "DccTokenReleaseNil";
constexpr const char* TextLength1 = "DccSymbolTextLength";   // the esi form
constexpr const char* TextLength2 = "DccMemberTextLength";   // the edi form
constexpr const char* StrLen = "DccStrLen";
constexpr const char* Counters = "DccTokenCounters";
constexpr const char* SetTokenLength = "DccSetTokenLength";
constexpr const char* Reset = "DccTokenReset";
} // namespace Export

// The next token (a number from 1 on), read through T, which keeps it
// prefetched until it is taken (stdcall).
using NextTokenFn = uint32_t(__stdcall*)();
// The release routine called with nil, as the compiler may (stdcall).
using ReleaseNilFn = void(__stdcall*)();
// A symbol record's text length (register: eax = record) → the length, or
// -1 when the compiler's check refuses the record.
using TextLengthFn = int32_t(QM_HOST_REGISTER*)(const uint8_t* record);
// strlen (cdecl), counted.
using StrLenFn = uint32_t(__cdecl*)(const char* text);
struct TCounters {
  uint32_t Allocations;  // the memory manager's allocations
  uint32_t Frees;        // and frees
  uint32_t Live;         // blocks allocated and not freed
  uint32_t StrLens;      // strlen calls
  uint32_t Tokens;
  uint32_t Checksum;     // of the token buffers' contents as read
};
using CountersFn = void(__stdcall*)(TCounters* counters);
// The length the token buffers are made for (the allocation's size is 16 +
// 2 × (length + 1)).
using SetTokenLengthFn = void(__stdcall*)(int32_t length);
// Tokens counted from 1 again, the checksum from 0 (the memory counters stay).
using ResetFn = void(__stdcall*)();

namespace SymbolLayout {
constexpr uint32_t StoredLength = 0x28;
constexpr uint32_t Text = 0x30;
constexpr uint32_t Size = 0x130;
} // namespace SymbolLayout

} // namespace DccTokensDriver
