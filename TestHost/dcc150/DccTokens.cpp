// Around the token prefetch and the symbol-text lengths (DccTokens.S): the
// compiler's memory manager (counted), filling and scanning a token buffer,
// strlen, the record check, and what the driver reads.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "DccTokensDriver.h"

using namespace DccTokensDriver;

namespace {

TCounters g_counters = {};
uint32_t g_nextToken = 0;

uint32_t Mix(uint32_t h, uint32_t v) { return (h ^ v) * 16777619u; }

}  // namespace

extern "C" {

extern uint32_t DccPrefetched QM_HOST_SYMBOL(DccPrefetched);
extern int32_t DccTokenLength QM_HOST_SYMBOL(DccTokenLength);
uint32_t QM_HOST_REGISTER DccPrefetchToken() QM_HOST_SYMBOL(DccPrefetchToken);
void QM_HOST_REGISTER DccTokenBufRelease(void* buffer) QM_HOST_SYMBOL(DccTokenBufRelease);
int32_t QM_HOST_REGISTER DccSymbolTextLength(const uint8_t* record) QM_HOST_SYMBOL(DccSymbolTextLength);
int32_t QM_HOST_REGISTER DccMemberTextLength(const uint8_t* record) QM_HOST_SYMBOL(DccMemberTextLength);

void* QM_HOST_REGISTER DccGetMem(int32_t size) QM_HOST_SYMBOL(DccGetMem);
void* QM_HOST_REGISTER DccGetMem(int32_t size) {
  ++g_counters.Allocations;
  ++g_counters.Live;
  return HeapAlloc(GetProcessHeap(), 0, size_t(size > 0 ? size : 1));
}

void QM_HOST_REGISTER DccFreeMem(void* block) QM_HOST_SYMBOL(DccFreeMem);
void QM_HOST_REGISTER DccFreeMem(void* block) {
  if (!block) return;
  ++g_counters.Frees;
  --g_counters.Live;
  HeapFree(GetProcessHeap(), 0, block);
}

// A buffer: [0] references, [4] its token, from 16 the token's text
// (UTF-16, up to 16 characters of the line's length, and a zero).
void* QM_HOST_REGISTER DccTokenFill(uint8_t* buffer) QM_HOST_SYMBOL(DccTokenFill);
void* QM_HOST_REGISTER DccTokenFill(uint8_t* buffer) {
  const uint32_t token = ++g_nextToken;
  std::memset(buffer, 0, 16);
  std::memcpy(buffer + 4, &token, 4);
  auto* text = reinterpret_cast<wchar_t*>(buffer + 16);
  const int32_t length = DccTokenLength < 16 ? DccTokenLength : 16;
  for (int32_t i = 0; i < length; ++i) text[i] = wchar_t(L'a' + (token + uint32_t(i)) % 26);
  text[length] = L'\0';
  return buffer;
}

uint32_t QM_HOST_REGISTER DccTokenScan(const uint8_t* buffer) QM_HOST_SYMBOL(DccTokenScan);
uint32_t QM_HOST_REGISTER DccTokenScan(const uint8_t* buffer) {
  uint32_t token;
  std::memcpy(&token, buffer + 4, 4);
  return token;
}

void QM_HOST_REGISTER DccTokenDone(const uint8_t* buffer) QM_HOST_SYMBOL(DccTokenDone);
void QM_HOST_REGISTER DccTokenDone(const uint8_t* buffer) {
  const auto* text = reinterpret_cast<const wchar_t*>(buffer + 16);
  const int32_t last = (DccTokenLength < 16 ? DccTokenLength : 16) - 1;
  g_counters.Checksum = Mix(Mix(g_counters.Checksum, text[0]), text[last]);
  ++g_counters.Tokens;
}

uint32_t QM_HOST_REGISTER DccCheckRecord(uint32_t, uint32_t) QM_HOST_SYMBOL(DccCheckRecord);
uint32_t QM_HOST_REGISTER DccCheckRecord(uint32_t, uint32_t) { return 1; }

uint32_t __cdecl DccStrLen(const char* text) QM_HOST_SYMBOL(DccStrLen);
uint32_t __cdecl DccStrLen(const char* text) {
  ++g_counters.StrLens;
  return uint32_t(std::strlen(text));
}

uint32_t __stdcall DccNextToken() {
  const uint32_t token = DccPrefetchToken();
  DccPrefetched = 0;
  return token;
}

void __stdcall DccTokenReleaseNil() { DccTokenBufRelease(nullptr); }

void __stdcall DccTokenCounters(TCounters* counters) { *counters = g_counters; }

void __stdcall DccSetTokenLength(int32_t length) { DccTokenLength = length > 1 ? length : 1; }

void __stdcall DccTokenReset() {
  g_nextToken = 0;
  g_counters.Checksum = 0;
  DccPrefetched = 0;
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&DccNextToken), NextTokenFn>, "NextToken");
static_assert(std::is_same_v<decltype(&DccTokenReleaseNil), ReleaseNilFn>, "ReleaseNil");
static_assert(std::is_same_v<decltype(&DccSymbolTextLength), TextLengthFn>, "TextLength1");
static_assert(std::is_same_v<decltype(&DccMemberTextLength), TextLengthFn>, "TextLength2");
static_assert(std::is_same_v<decltype(&DccStrLen), StrLenFn>, "StrLen");
static_assert(std::is_same_v<decltype(&DccTokenCounters), CountersFn>, "Counters");
static_assert(std::is_same_v<decltype(&DccSetTokenLength), SetTokenLengthFn>, "SetTokenLength");
static_assert(std::is_same_v<decltype(&DccTokenReset), ResetFn>, "Reset");
