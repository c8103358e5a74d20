// The shipped Quillmend.dll in the stand-in IDE with its Delphi and
// refactoring packages: the nine editor, parser and code-completion fixes
// are applied and listed in the about box (the parser helper's pseudo-patch
// is not), the editor undoes a large group through one range call with the
// buffer as the host leaves it, class completion completes `class operator
// In` and adds no empty published section, and the IDE shuts down cleanly.
#include "Tests/Support/IdeRun.h"

#include <gtest/gtest.h>

namespace {

const std::vector<std::wstring> Entries = {
    L"applied: Improves the speed of a large undo operation [IDE.Editor.UndoSpeed]",
    L"applied: Protects the editor kernel from making auto changes when undo is disabled [IDE.Editor.DisableUndoProtect]",
    L"applied: Editor copy garbage is trailing banks are to be copied [IDE.Editor.CopyTrimTrailingBlanks]",
    L"applied: Editor Focus Fix [Editor.FocusFix]",
    L"applied: Cancels the background parser when closing a module [IDE.Parser.ElisionLock]",
    L"applied: Fixes a close EditorTab AV if CnWizards is installed [IDE.EditorControl.CnWizardsAV]",
    L"applied: Refactor menu item OnUpdate [IDE.RefactoringCmdsUpdate]",
    L"applied: Unnecessary published block after code completion [Editor.PublishedBlock]",
    L"applied: ClassCompletion fix for class operator In [IDE.ClassCompletion.ClassOperatorIn]",
};

TIdeRun RunBds(const std::wstring& name, const std::wstring& disabled, std::vector<std::wstring> arguments) {
  TIdeSetup setup;
  setup.Name = name;
  setup.Suite = L"EditorParser";
  setup.Library = BuildDirectory() + L"\\out\\Quillmend.dll";
  setup.Environment = {{L"Quillmend.DisabledPatches", disabled}};
  setup.Arguments = std::move(arguments);
  setup.Packages = {{BuildDirectory() + L"\\host\\delphicoreide150.bpl", L"Delphi Core IDE Package"},
                    {BuildDirectory() + L"\\host\\refactoride150.bpl", L"Refactoring IDE Package"}};
  TIdeRun run = RunIde(setup);
  EXPECT_EQ(run.ExitCode, 0u);
  EXPECT_TRUE(run.Saw(L"SHUTDOWN"));
  EXPECT_TRUE(run.Lines(L"EXCEPTION ").empty());
  EXPECT_TRUE(run.Lines(L"PATCH-FAILED ").empty());
  return run;
}

std::wstring AboutBox(const TIdeRun& run) {
  std::wstring text;
  for (const std::wstring& added : run.Lines(L"ABOUT-ADD ")) text += added;
  return text;
}

} // namespace

TEST(EditorParserShipped, NineFixesAppliedAndALargeUndoInOneRangeCall) {
  const TIdeRun on = RunBds(L"UndoOn", L"", {L"-run", L"undo", L"5000"});
  const std::wstring about = AboutBox(on);
  for (const std::wstring& entry : Entries) EXPECT_NE(about.find(entry), std::wstring::npos) << std::string(entry.begin(), entry.end());
  EXPECT_EQ(about.find(L"[IDE.BackgroundParserUtils]"), std::wstring::npos);
  const TIdeRun off = RunBds(L"UndoOff", L"*", {L"-run", L"undo", L"5000"});
  const std::vector<std::wstring> patched = on.Lines(L"UNDO "), host = off.Lines(L"UNDO ");
  ASSERT_EQ(patched.size(), 1u);
  ASSERT_EQ(host.size(), 1u);
  EXPECT_NE(patched[0].find(L"item-calls=0 range-calls=1 "), std::wstring::npos);
  EXPECT_NE(host[0].find(L"item-calls=5000 range-calls=0 "), std::wstring::npos);
  EXPECT_EQ(patched[0].substr(patched[0].find(L"checksum=")), host[0].substr(host[0].find(L"checksum=")));
}

TEST(EditorParserShipped, ClassCompletionCompletesClassOperatorIn) {
  const TIdeRun on = RunBds(L"CompletionOn", L"", {L"-run", L"classcompletion"});
  const TIdeRun off = RunBds(L"CompletionOff", L"*", {L"-run", L"classcompletion"});
  const std::vector<std::wstring> patched = on.Lines(L"CLASS-COMPLETION "), host = off.Lines(L"CLASS-COMPLETION ");
  ASSERT_EQ(patched.size(), 2u);
  ASSERT_EQ(host.size(), 2u);
  EXPECT_NE(patched[0].find(L"class operator TSet.In(a: Integer; b: TSet): Boolean;\nbegin\nend;"), std::wstring::npos);
  EXPECT_EQ(host[0].find(L"TSet.In"), std::wstring::npos);
  EXPECT_EQ(patched[1].find(L"published"), std::wstring::npos);
  EXPECT_NE(host[1].find(L"  published\n"), std::wstring::npos);
}
