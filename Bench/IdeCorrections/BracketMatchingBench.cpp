// Bracket matching over generated Pascal and C sources of 1,000, 10,000 and
// 50,000 lines whose literals hold brackets and quotes: every pair the
// generator placed is searched from both ends, in the stand-in editor kernel
// (boreditu.dll) as the host has it and then with "IDE.Editor.ParanMatching"
// installed. Printed: the searches whose answer is not the placed partner
// (goal with the fix: 0) and the time per search both ways (goal: within 2x).
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Bench/Common/BenchTimer.h"
#include "BracketTextGenerator.h"
#include "Framework/PatchRegistry.h"
#include "Patches/IdeCorrections/EditorKernelParanMachtingFix.h"
#include "boreditu/BorEditDriver.h"

namespace {

using namespace BracketBench;

constexpr int Sizes[] = {1000, 10000, 50000};
constexpr int Repeats = 5;

struct TCase {
  const char* Name;
  TSyntax Syntax;
  int Lines;
  TSource Source;
};

struct TMeasure {
  int Wrong = 0;
  int Searches = 0;
  double SecondsPerSearch = 0;
};

std::wstring Parent(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/")); }

std::wstring BuildDirectory() {
  wchar_t path[MAX_PATH];
  return Parent(Parent(std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH))));
}

TMeasure Measure(const BorEditDriver::Driver& editor, const TSource& source) {
  TMeasure m;
  const char* text = source.Text.c_str();
  m.Searches = int(source.Pairs.size()) * 2;
  for (const TPair& pair : source.Pairs) {
    m.Wrong += editor.MatchBracket(text, pair.Open, nullptr) != pair.Close;
    m.Wrong += editor.MatchBracket(text, pair.Close, nullptr) != pair.Open;
  }
  const double seconds = Quillmend::Bench::BestSeconds(Repeats, [&] {
    for (const TPair& pair : source.Pairs) {
      editor.MatchBracket(text, pair.Open, nullptr);
      editor.MatchBracket(text, pair.Close, nullptr);
    }
  });
  m.SecondsPerSearch = seconds / m.Searches;
  return m;
}

} // namespace

int main() {
  const std::wstring host = BuildDirectory() + L"\\host\\";
  BorEditDriver::Driver editor;
  if (!LoadLibraryW((host + L"rtl150.bpl").c_str()) ||
      !editor.Bind(LoadLibraryW((host + L"boreditu.dll").c_str()))) {
    std::printf("cannot load the stand-in editor kernel from %ls\n", host.c_str());
    return 1;
  }
  std::vector<TCase> cases;
  for (int lines : Sizes) {
    cases.push_back({"Pascal", TSyntax::Pascal, lines, Generate(TSyntax::Pascal, lines)});
    cases.push_back({"C", TSyntax::C, lines, Generate(TSyntax::C, lines)});
  }
  std::vector<TMeasure> off, on;
  for (const TCase& c : cases) off.push_back(Measure(editor, c.Source));
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
  Quillmend::InstallEditorKernelParanMachtingFix();
  if (!Quillmend::IsPatchApplied(L"IDE.Editor.ParanMatching")) {
    std::printf("IDE.Editor.ParanMatching was not applied\n");
    return 1;
  }
  for (const TCase& c : cases) on.push_back(Measure(editor, c.Source));

  std::printf("Bracket matching in the stand-in editor kernel, every placed pair searched from both ends;\n"
              "wrong = answer other than the placed partner; time per search, best of %d runs\n",
              Repeats);
  std::printf("%-7s %7s %9s  %10s %10s  %12s %12s %7s\n", "syntax", "lines", "searches", "wrong off", "wrong on",
              "us/search off", "us/search on", "ratio");
  bool ok = true;
  for (size_t i = 0; i < cases.size(); ++i) {
    const double ratio = off[i].SecondsPerSearch > 0 ? on[i].SecondsPerSearch / off[i].SecondsPerSearch : 0;
    std::printf("%-7s %7d %9d  %10d %10d  %12.3f %12.3f %6.2fx\n", cases[i].Name, cases[i].Lines, off[i].Searches,
                off[i].Wrong, on[i].Wrong, off[i].SecondsPerSearch * 1e6, on[i].SecondsPerSearch * 1e6, ratio);
    ok &= on[i].Wrong == 0;
  }
  std::printf(ok ? "every search answered with its placed partner once the fix is in\n" : "FAILED: wrong answers with the fix\n");
  return ok ? 0 : 1;
}
