#include "BracketTextGenerator.h"

#include <string>

namespace BracketBench {

namespace {

// Builds a line from pieces; a piece's marks name the pairs it opens or closes.
class TLineBuilder {
public:
  explicit TLineBuilder(TSource& source) : FSource(source) {}
  // Text without marks.
  TLineBuilder& Add(const std::string& text) {
    FSource.Text += text;
    return *this;
  }
  // The opening token of pair `slot` at the current position, then its text.
  TLineBuilder& Open(int slot, const std::string& text) {
    FOpen[slot] = int(FSource.Text.size());
    return Add(text);
  }
  TLineBuilder& Close(int slot, const std::string& text) {
    FSource.Pairs.push_back({FOpen[slot], int(FSource.Text.size())});
    return Add(text);
  }

private:
  TSource& FSource;
  int FOpen[8] = {};
};

void PascalLine(TSource& s, int i) {
  const std::string n = std::to_string(i);
  TLineBuilder b(s);
  switch (i % 5) {
    case 0:  // Log('Total (' + IntToStr(n) + ')');
      b.Add("  Log").Open(0, "(").Open(1, "'").Add("Total (").Close(1, "'").Add(" + IntToStr").Open(2, "(").Add(n);
      b.Close(2, ")").Add(" + ").Open(3, "'").Add(")").Close(3, "'").Close(0, ")").Add(";\n");
      break;
    case 1:  // S := Format('%d)', [n]);
      b.Add("  S := Format").Open(0, "(").Open(1, "'").Add("%d)").Close(1, "'").Add(", ").Open(2, "[").Add(n);
      b.Close(2, "]").Close(0, ")").Add(";\n");
      break;
    case 2:  // Caption := 'it''s (' + Name;
      b.Add("  Caption := ").Open(0, "'").Add("it''s (").Close(0, "'").Add(" + Name").Add(n).Add(";\n");
      break;
    case 3:  // if (A[n] = '[') then B(n);
      b.Add("  if ").Open(0, "(").Add("A").Open(1, "[").Add(n).Close(1, "]").Add(" = ").Open(2, "'").Add("[");
      b.Close(2, "'").Close(0, ")").Add(" then B").Open(3, "(").Add(n).Close(3, ")").Add(";\n");
      break;
    default:  // a call over three lines with ')' on the middle one
      b.Add("  Call").Open(0, "(").Add("First").Add(n).Add(",\n    ").Open(1, "'").Add(")").Close(1, "'");
      b.Add(",\n    Last").Close(0, ")").Add(";\n");
      break;
  }
}

void CLine(TSource& s, int i) {
  const std::string n = std::to_string(i);
  TLineBuilder b(s);
  switch (i % 5) {
    case 0:  // printf("(%d)\n", f(n));
      b.Add("  printf").Open(0, "(").Open(1, "\"").Add("(%d)\\n").Close(1, "\"").Add(", f").Open(2, "(").Add(n);
      b.Close(2, ")").Close(0, ")").Add(";\n");
      break;
    case 1:  // puts("a \"quoted\" )");
      b.Add("  puts").Open(0, "(").Open(1, "\"").Add("a \\\"quoted\\\" )").Close(1, "\"").Close(0, ")").Add(";\n");
      break;
    case 2:  // c = s[n] == '(' ? a[n] : b[n];
      b.Add("  c = s").Open(0, "[").Add(n).Close(0, "]").Add(" == ").Open(1, "'").Add("(").Close(1, "'");
      b.Add(" ? a").Open(2, "[").Add(n).Close(2, "]").Add(" : b").Open(3, "[").Add(n).Close(3, "]").Add(";\n");
      break;
    case 3:  // x = g(y, "[", z);
      b.Add("  x = g").Open(0, "(").Add("y").Add(n).Add(", ").Open(1, "\"").Add("[").Close(1, "\"").Add(", z");
      b.Close(0, ")").Add(";\n");
      break;
    default:  // a call over three lines with ")" on the middle one
      b.Add("  call").Open(0, "(").Add("first").Add(n).Add(",\n       ").Open(1, "\"").Add(")").Close(1, "\"");
      b.Add(",\n       last").Close(0, ")").Add(";\n");
      break;
  }
}

} // namespace

TSource Generate(TSyntax syntax, int lines) {
  TSource source;
  source.Text = syntax == TSyntax::Pascal ? "begin\n" : "{\n";
  int produced = 1;
  for (int i = 0; produced < lines; ++i) {
    const size_t before = source.Text.size();
    if (syntax == TSyntax::Pascal)
      PascalLine(source, i);
    else
      CLine(source, i);
    for (size_t c = before; c < source.Text.size(); ++c) produced += source.Text[c] == '\n';
  }
  return source;
}

} // namespace BracketBench
