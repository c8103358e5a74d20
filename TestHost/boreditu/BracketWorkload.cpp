// The editor's bracket matching: a few searches over Pascal and C lines,
// with brackets and quotes inside literals and comments, as the editor runs
// one when the caret rests on a bracket. Whatever an expert changed in the
// editor kernel is in effect. Journal: "BRACKET-SEARCH <text> caret=<n> ->
// <match index>|none".
#include <windows.h>

#include "bds/HostApp.h"
#include "bds/Workloads.h"
#include "boreditu/BorEditDriver.h"

namespace QmHost {

namespace {

struct TSample {
  const char* Text;
  int Caret;
};

const TSample Samples[] = {
    {"ShowMessage('Total (' + IntToStr(n) + ')');", 11},  // the call's parenthesis
    {"s := 'it''s';", 5},                                 // a Pascal literal with a doubled quote
    {"if (c == ')') { f(x); }", 3},                       // a parenthesis inside a character literal
    {"printf(\"[%d]\\\"\", a[i]);", 8},                  // a bracket inside a C string: no match
    {"x = \"a\\\"b\";", 9},                              // its closing quote, searching backwards
    {"(* don't ( *) y := (1);", 0},                       // a comment: the editor's own rules
};

int RunBrackets(HostApp& app, const std::vector<std::wstring>& args) {
  if (!args.empty()) {
    app.Log(L"WORKLOAD-ERROR brackets: expected no arguments");
    return 2;
  }
  HMODULE editor = GetModuleHandleW(L"boreditu.dll");
  BorEditDriver::Driver driver;
  if (!editor || !driver.Bind(editor)) {
    app.Log(L"WORKLOAD-ERROR brackets: boreditu.dll or its driver exports are missing");
    return 2;
  }
  for (const TSample& sample : Samples) {
    const int match = driver.MatchBracket(sample.Text, sample.Caret, nullptr);
    std::wstring text(sample.Text, sample.Text + lstrlenA(sample.Text));
    app.Log(L"BRACKET-SEARCH " + JournalEscape(text) + L" caret=" + std::to_wstring(sample.Caret) + L" -> " +
            (match < 0 ? std::wstring(L"none") : std::to_wstring(match)));
  }
  return 0;
}

const WorkloadRegistration kBrackets{L"brackets", RunBrackets,
                                     L"brackets  a few bracket searches of the editor over literals and comments"};

} // namespace

} // namespace QmHost
