// Generated Pascal and C sources for the bracket matching benchmark: lines
// with calls, index brackets and literals that hold brackets and quotes of
// their own (doubled apostrophes, backslash escapes, character literals),
// some calls spanning lines. The generator records every pair it placed
// (call parentheses, index brackets, the quotes of each literal).
#pragma once

#include <string>
#include <vector>

namespace BracketBench {

struct TPair {
  int Open;   // index of the opening token
  int Close;  // index of the closing token
};

struct TSource {
  std::string Text;
  std::vector<TPair> Pairs;
};

enum class TSyntax { Pascal, C };

TSource Generate(TSyntax syntax, int lines);

} // namespace BracketBench
