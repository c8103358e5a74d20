// "IDE.Editor.ParanMatching" on the stand-in editor kernel: a golden table of
// searches in Pascal and C text with the host's answer before the patch and
// the patched one, and properties over random texts (without literals, or
// searching from a comment delimiter, the patched editor answers as the
// host does; what an earlier search left behind changes no answer).
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "StandIns.h"

namespace {

struct TGoldenCase {
  const char* Text;
  int Caret;
  int Unpatched;  // index of the match, -1 for none
  int Patched;
};

const TGoldenCase GoldenCases[] = {
    // Pascal: apostrophe literals, '' inside them.
    {"f('(', x)", 1, -1, 8},            // a ( in a literal before the closing )
    {"f(a, ')', b)", 1, 6, 11},         // a ) in a literal
    {"s := 'a(b)c';", 7, 9, -1},        // the caret's ( lies inside a literal: no match
    {"s := 'it''s';", 5, 8, 11},        // opening quote, forwards over the doubled quote
    {"s := 'it''s';", 11, 9, 5},        // closing quote, backwards over it
    {"f('say \"(\" now', x)", 1, -1, 18},  // a DQ inside an apostrophe literal changes nothing
    {"'x'", 2, 0, 0},                   // backwards to a quote at the text's first position
    {"'a''", 0, 2, -1},                 // a doubled quote at the text's end: the literal never closes
    // Comment delimiters: the host's own answer, brackets in literals counted.
    {"(* f(')') *)", 0, 10, 10},
    {"(* f(')') *)", 4, 6, 8},          // a ( inside a comment is an ordinary bracket
    {"{ '}' }", 0, 3, 3},
    {"(* '(*' *)", 8, 4, 4},            // on the * of *), backwards
    {"/* \"*/\" */", 0, 4, 4},
    {"{a '{' }", 7, 4, 4},              // on }, backwards
    // C: double-quoted literals with backslash escapes, character literals.
    {"printf(\"(%d\", x);", 6, -1, 15},
    {"x = \"a\\\"b\";", 4, 7, 9},        // opening DQ, forwards past the escaped one
    {"x = \"a\\\"b\";", 9, 7, 4},        // closing DQ, backwards: the even-count rule
    {"f(\"it's )\", x)", 1, 8, 13},       // an apostrophe inside a DQ literal changes nothing
    {"if (c == '(') {", 3, -1, 12},     // a character literal
    {"k<<<g, \">>>\">>>(x);", 1, 8, 12},  // a three-character token
    {"k<<<g, \">>>\">>>(x);", 12, -1, 1}, // ... backwards, nesting through the literal ignored
    // Escapes at the text's bounds.
    {"\\\"(x\")", 5, 2, -1},             // the escaping backslash is the first character
    {"(\"\\", 0, -1, -1},                // a backslash as the last character
};

std::vector<int> Answers(const std::vector<std::pair<std::string, int>>& searches) {
  std::vector<int> answers;
  for (const auto& [text, caret] : searches) answers.push_back(StandIns::Match(text, caret));
  return answers;
}

struct TRandom {
  uint32_t State;
  uint32_t Below(uint32_t n) {
    State = State * 1664525u + 1013904223u;
    return (State >> 8) % n;
  }
  std::string Text(const char* alphabet, int maxLength) {
    const int length = 1 + int(Below(uint32_t(maxLength)));
    const size_t letters = strlen(alphabet);
    std::string text;
    for (int i = 0; i < length; ++i) text += alphabet[Below(uint32_t(letters))];
    return text;
  }
};

bool OnCommentDelimiter(const std::string& text, size_t caret) {
  const char c = text[caret];
  return c == '*' || c == '/' || c == '{' || c == '}' || (c == '(' && caret + 1 < text.size() && text[caret + 1] == '*');
}

} // namespace

TEST(ParanMatching, GoldenTable) {
  StandIns::Load();
  std::vector<int> unpatched;
  for (const TGoldenCase& c : GoldenCases) unpatched.push_back(StandIns::Match(c.Text, c.Caret));
  StandIns::Install();
  ASSERT_EQ(StandIns::Status(L"IDE.Editor.ParanMatching"), L"applied");
  for (size_t i = 0; i < std::size(GoldenCases); ++i) {
    const TGoldenCase& c = GoldenCases[i];
    SCOPED_TRACE(std::string(c.Text) + " caret " + std::to_string(c.Caret));
    EXPECT_EQ(unpatched[i], c.Unpatched);
    EXPECT_EQ(StandIns::Match(c.Text, c.Caret), c.Patched);
  }
}

// Without quotes and backslashes at every caret, and with them from every
// comment delimiter: the patched editor answers as the host does.
TEST(ParanMatching, OutsideLiteralsTheHostsAnswersStay) {
  StandIns::Load();
  TRandom random{20240611};
  std::vector<std::pair<std::string, int>> searches;
  for (int i = 0; i < 150; ++i) {
    const std::string text = random.Text("()[]{}<>*/ab ;", 40);
    for (size_t caret = 0; caret < text.size(); ++caret) searches.emplace_back(text, int(caret));
  }
  for (int i = 0; i < 150; ++i) {
    const std::string text = random.Text("()[]{}*/'\"\\a ", 40);
    for (size_t caret = 0; caret < text.size(); ++caret)
      if (OnCommentDelimiter(text, caret)) searches.emplace_back(text, int(caret));
  }
  const std::vector<int> unpatched = Answers(searches);
  StandIns::Install();
  const std::vector<int> patched = Answers(searches);
  ASSERT_EQ(patched.size(), unpatched.size());
  for (size_t i = 0; i < searches.size(); ++i)
    EXPECT_EQ(patched[i], unpatched[i]) << searches[i].first << " caret " << searches[i].second;
}

// Whatever an earlier search left in the literal state (an open literal, a
// pending escape, a comment search), the next search answers the same.
TEST(ParanMatching, StateLeftByAnEarlierSearchChangesNothing) {
  StandIns::Load();
  StandIns::Install();
  TRandom random{77};
  std::vector<std::pair<std::string, int>> searches;
  for (const TGoldenCase& c : GoldenCases) searches.emplace_back(c.Text, c.Caret);
  for (int i = 0; i < 60; ++i) {
    const std::string text = random.Text("()[]{}*/'\"\\a ", 30);
    searches.emplace_back(text, int(random.Below(uint32_t(text.size()))));
  }
  const std::vector<int> alone = Answers(searches);
  for (size_t i = 0; i < searches.size(); ++i) {
    const auto& before = searches[random.Below(uint32_t(searches.size()))];
    StandIns::Match(before.first, before.second);
    EXPECT_EQ(StandIns::Match(searches[i].first, searches[i].second), alone[i])
        << searches[i].first << " caret " << searches[i].second << " after " << before.first << " caret "
        << before.second;
  }
}
