// The editor kernel's bracket matching around its search loop: which token
// stands at the caret, which one is sought, in which direction, and whether
// the pair nests. The loop itself (BracketSearchCode.S) counts every token
// it meets, also inside string literals and comments.
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
// unescaped quotes stands before it: then the search runs backwards.
bool ClosingQuote(const char* text, const char* caret) {
  int count = 0;
  for (const char* p = text; p < caret; ++p)
    if (*p == *caret && !Escaped(text, p)) ++count;
  return count % 2 == 1;
}

void CopyToken(char (&to)[TokenRoom], const char* token) {
  std::memset(to, 0, sizeof to);
  std::strncpy(to, token, sizeof to - 1);
}

// Fills the search for the token at the caret; false when there is none.
bool Prepare(TBracketSearch& search, const char* text, int caret) {
  const size_t length = std::strlen(text);
  if (caret < 0 || size_t(caret) >= length) return false;
  const char* at = text + caret;
  for (const TTokenPair& pair : Pairs) {
    const bool quote = std::strcmp(pair.Open, pair.Close) == 0;
    bool forward;
    if (quote) {
      if (!StartsWith(at, pair.Open)) continue;
      forward = !ClosingQuote(text, at);
    } else if (StartsWith(at, pair.Open)) {
      forward = true;
    } else if (StartsWith(at, pair.Close)) {
      forward = false;
    } else {
      continue;
    }
    std::memset(&search, 0, sizeof search);
    search.First = text;
    search.Last = text + length - 1;
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
