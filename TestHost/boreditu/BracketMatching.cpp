// The editor kernel's bracket matching around its search loop: which token
// stands at the caret, which one is sought, in which direction, whether the
// pair nests, and the part of the text searched (WindowLines lines either
// side of the caret's line). The loop itself (BracketSearchCode.S) counts
// every token it meets, also inside string literals and comments.
#include <cstddef>
#include <cstring>
#include <type_traits>

#include "BorEditDriver.h"
#include "BracketSearch.h"

using namespace BorEdit;

namespace {

struct TTokenPair {
  const char* Open;
  const char* Close;
  bool Nests;
};

// Tried in this order at the caret: longer tokens first, so "(*" wins over "(".
const TTokenPair Pairs[] = {
    {"(*", "*)", false},   // Pascal comment
    {"/*", "*/", false},   // C comment
    {"<<<", ">>>", true},  // launch brackets
    {"(", ")", true},      {"[", "]", true}, {"{", "}", true},
    {"'", "'", false},     {"\"", "\"", false},  // a quote matches the same quote
};

bool StartsWith(const char* at, const char* token) { return std::strncmp(at, token, std::strlen(token)) == 0; }

// A quote is escaped when an odd run of backslashes stands right before it.
bool Escaped(const char* text, const char* at) {
  int run = 0;
  while (at - run > text && at[-run - 1] == '\\') ++run;
  return run % 2 == 1;
}

// A quote at the caret closes a literal when an odd number of the same,
// unescaped quotes stands before it on its line (literals do not span
// lines): then the search runs backwards.
bool ClosingQuote(const char* lineStart, const char* caret) {
  int count = 0;
  for (const char* p = lineStart; p < caret; ++p)
    if (*p == *caret && !Escaped(lineStart, p)) ++count;
  return count % 2 == 1;
}

// The editor looks for a match within WindowLines lines of the caret's line.
constexpr int WindowLines = 100;

const char* LineStartBefore(const char* text, const char* at, int lines) {
  for (;;) {
    while (at > text && at[-1] != '\n') --at;
    if (lines-- == 0 || at == text) return at;
    --at;
  }
}

// The last character of the line WindowLines below, or of the text.
const char* LineEndAfter(const char* at, int lines) {
  for (;;) {
    while (at[1] != '\0' && *at != '\n') ++at;
    if (lines-- == 0 || at[1] == '\0') return at;
    ++at;
  }
}

void CopyToken(char (&to)[TokenRoom], const char* token) {
  std::memset(to, 0, sizeof to);
  std::strncpy(to, token, sizeof to - 1);
}

// Fills the search for the token at the caret; false when there is none.
bool Prepare(TBracketSearch& search, const char* text, int caret) {
  if (caret < 0 || text[caret] == '\0') return false;
  const char* at = text + caret;
  for (const TTokenPair& pair : Pairs) {
    const bool quote = std::strcmp(pair.Open, pair.Close) == 0;
    bool forward;
    if (quote) {
      if (!StartsWith(at, pair.Open)) continue;
      forward = !ClosingQuote(LineStartBefore(text, at, 0), at);
    } else if (StartsWith(at, pair.Open)) {
      forward = true;
    } else if (StartsWith(at, pair.Close)) {
      forward = false;
    } else {
      continue;
    }
    std::memset(&search, 0, sizeof search);
    search.First = LineStartBefore(text, at, WindowLines);
    search.Last = LineEndAfter(at, WindowLines);
    search.Caret = at;
    search.Direction = forward ? 1 : -1;
    search.Nesting = pair.Nests ? 1 : 0;
    search.Length = int32_t(std::strlen(pair.Open));
    CopyToken(search.Sought, forward ? pair.Close : pair.Open);
    CopyToken(search.Own, forward ? pair.Open : pair.Close);
    return true;
  }
  return false;
}

} // namespace

extern "C" {

int __cdecl BorEditTokenLength(const char* token) { return int(std::strlen(token)); }

int __cdecl BorEditTokenCompare(const char* text, const char* token, int length) {
  for (int i = 0; i < length; ++i) {
    const unsigned char a = static_cast<unsigned char>(text[i]);
    const unsigned char b = static_cast<unsigned char>(token[i]);
    if (a != b) return int(a) - int(b);
    if (b == 0) break;
  }
  return 0;
}

int __cdecl BorEditTokenCompareCopy(const char* text, const char* token, int length) {
  return BorEditTokenCompare(text, token, length);
}

// Exported through BracketMatching.def.
int __stdcall BorEditMatchBracket(const char* text, int caret, int* matchLength) {
  if (matchLength) *matchLength = 0;
  TBracketSearch search;
  if (!text || !Prepare(search, text, caret)) return -1;
  const char* match = BorEditFindBracket(&search);
  if (!match) return -1;
  if (matchLength) *matchLength = search.MatchLength;
  return int(match - text);
}

void* __stdcall BorEditPatternSite(const char* site) {
  const QmHost::SearchedSite* found = QmHost::FindSearchedSite(site);
  return found ? found->Address : nullptr;
}

const QmHost::SearchedSite* __stdcall BorEditPatternSites(int* count) { return QmHost::SearchedSites(count); }

} // extern "C"

static_assert(std::is_same_v<decltype(&BorEditMatchBracket), BorEditDriver::Driver::MatchBracketFn> &&
                  std::is_same_v<decltype(&BorEditPatternSite), BorEditDriver::Driver::PatternSiteFn> &&
                  std::is_same_v<decltype(&BorEditPatternSites), BorEditDriver::Driver::PatternSitesFn>,
              "exports differ from BorEditDriver.h");
