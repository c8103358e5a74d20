// The editor kernel's bracket search record, shared by its assembly loop
// (BracketSearchCode.S) and the C++ that prepares a search (BracketMatching.cpp).
#pragma once

#include <cstdint>

#include "Common/HostLayout.h"

namespace BorEdit {

constexpr int TokenRoom = 12;

// One search. The offsets are fixed: the loop reads them from assembly.
struct TBracketSearch {
  const char* First;       // 0x00 first character of the text
  const char* Last;        // 0x04 last character (inclusive); a zero follows it
  const char* Caret;       // 0x08 where the token at the caret begins
  int32_t Direction;       // 0x0C +1 forward, -1 backward (the loop reads 16 bits)
  int32_t Nesting;         // 0x10 nonzero: the caret's own token nests (the loop reads 8 bits)
  int32_t Length;          // 0x14 length of both tokens (the loop reads 16 bits)
  const char* Match;       // 0x18 result: where the sought token was found, or nil
  int32_t MatchLength;     // 0x1C result: its length
  int32_t Reserved[3];     // 0x20
  char Sought[TokenRoom];  // 0x2C the token that ends the search (zero-terminated)
  char Own[TokenRoom];     // 0x38 the caret's own token, counted for nesting
};
static_assert(offsetof(TBracketSearch, Direction) == 0x0C && offsetof(TBracketSearch, Match) == 0x18 &&
                  offsetof(TBracketSearch, Sought) == 0x2C && offsetof(TBracketSearch, Own) == 0x38,
              "the assembly loop reads these offsets");

} // namespace BorEdit

extern "C" {
// The search loop (host register convention): EAX = the record; returns the
// match, or nil.
const char* QM_HOST_REGISTER BorEditFindBracket(BorEdit::TBracketSearch* search) QM_HOST_SYMBOL(BorEditFindBracket);
// The loop's helpers, C calling convention (caller pops).
int __cdecl BorEditTokenLength(const char* token) QM_HOST_SYMBOL(BorEditTokenLength);
int __cdecl BorEditTokenCompare(const char* text, const char* token, int length) QM_HOST_SYMBOL(BorEditTokenCompare);
// The same comparison once more (a build whose nesting check calls its own copy).
int __cdecl BorEditTokenCompareCopy(const char* text, const char* token, int length)
    QM_HOST_SYMBOL(BorEditTokenCompareCopy);
}
