// The library entry in the stand-in IDE: bds.exe loads the start-up package
// and the test build of Quillmend.dll, calls the expert entry and loads the
// C++ compiler; the tests read its journal and the test patches' events.
#include "Tests/Support/IdeRun.h"

#include <gtest/gtest.h>
#include <cstring>

namespace {

const std::wstring Title = L"Quillmend XE 5.7";
const std::wstring DescriptionHead = Title +
    L"\r\n\r\nRun-time corrections and speed-ups for the RAD Studio XE IDE, applied in memory; no IDE file is "
    L"changed.\r\nUse at your own risk.\r\n\r\n";
const std::wstring WarningHead = L"Not all Quillmend patches were applied. Failed patches: \n\n";
constexpr unsigned long IconWarning = 0x30, IconError = 0x10;

TIdeSetup IdeSetup(const char* name, const wchar_t* patches, std::vector<std::wstring> arguments = {}) {
  TIdeSetup setup;
  setup.Name = std::wstring(name, name + strlen(name));
  setup.Patches = patches;
  setup.Arguments = std::move(arguments);
  return setup;
}

// The description part of the one about-box entry; fails the test otherwise.
std::wstring AboutDescription(const TIdeRun& run) {
  auto added = run.Lines(L"ABOUT-ADD ");
  EXPECT_EQ(added.size(), 1u);
  if (added.empty()) return L"";
  size_t title = added[0].find(L' ') + 1, bar = added[0].find(L'|');
  EXPECT_EQ(added[0].substr(title, bar - title), Title);
  return added[0].substr(bar + 1);
}

void ExpectCleanShutdown(const TIdeRun& run) {
  EXPECT_EQ(run.ExitCode, 0u);
  EXPECT_TRUE(run.Saw(L"SHUTDOWN"));
}

}  // namespace

TEST(ExpertEntry, AboutEntryListsAppliedAndFailedButNotIgnoredAndFailuresAreWarnedOf) {
  TIdeRun run = RunIde(IdeSetup("AboutAndWarning", L"immediate;wizard;wizard-fail;wizard-ignore"));
  ExpectCleanShutdown(run);
  EXPECT_EQ(AboutDescription(run), DescriptionHead +
                                       L"applied: Test patch installed at expert entry [Compiler.TestWizard]\r\n"
                                       L"failed : Test patch whose target is missing [IDE.TestFailed]\r\n"
                                       L"applied: Test patch installed at load [Start.TestImmediate]");
  auto boxes = MessageBoxes(run);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Caption, Title);
  EXPECT_EQ(boxes[0].Style, IconWarning);
  EXPECT_EQ(boxes[0].Text, WarningHead + L"failed : Test patch whose target is missing [IDE.TestFailed]");
  // Why it failed, beside the unchanged texts.
  EXPECT_EQ(run.Lines(L"PATCH-FAILED "),
            std::vector<std::wstring>{L"IDE.TestFailed: QuillmendTestMissingModule.bpl: module not loaded"});
  // The entry is removed again when the IDE drops the expert.
  auto added = run.Lines(L"ABOUT-ADD ");
  ASSERT_EQ(added.size(), 1u);
  EXPECT_EQ(run.Lines(L"ABOUT-REMOVE "), std::vector<std::wstring>{added[0].substr(0, added[0].find(L' '))});
  EXPECT_EQ(run.Lines(L"EXPERT-INIT ").size(), 1u);
}

TEST(ExpertEntry, ASecondEntryAddsNothingAndInterceptsTheCompilerLoadOnce) {
  TIdeSetup setup = IdeSetup("SecondEntry", L"wizard-fail;cpp", {L"-bccide", L"-run", L"cppload", L"1", L"0"});
  setup.ExpertRegistrations = 2;
  TIdeRun run = RunIde(setup);
  ExpectCleanShutdown(run);
  EXPECT_EQ(run.Lines(L"EXPERT-INIT ").size(), 2u);
  EXPECT_EQ(run.Lines(L"ABOUT-ADD ").size(), 1u);
  EXPECT_EQ(run.Lines(L"ABOUT-REMOVE ").size(), 1u);
  EXPECT_EQ(run.Count("wizard failed"), 1u);
  EXPECT_EQ(run.Count("cpp applied"), 1u);  // a doubled interception would run them twice or loop
  EXPECT_TRUE(run.Saw(L"CPP-LOAD 1 0 -> 1"));
  auto boxes = MessageBoxes(run);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].Caption, Title);
  EXPECT_EQ(boxes[1].Caption, L"Quillmend");  // after the compiler load, the wizard patch still failed
}

TEST(ExpertEntry, ExceptionOfAWizardInitProcReachesTheIdeWithItsMessage) {
  TIdeRun run = RunIde(IdeSetup("WizardRaises", L"wizard;wizard-raise;wizard-fail"));
  ExpectCleanShutdown(run);
  EXPECT_TRUE(run.Saw(L"EXCEPTION Exception: Test wizard-init procedure failed"));
  EXPECT_EQ(run.Count("wizard applied"), 1u);
  EXPECT_EQ(run.Count("wizard failed"), 0u);  // later procedures do not run
  EXPECT_TRUE(run.Lines(L"ABOUT-ADD ").empty());
}

TEST(StartupPackage, LoadsTheLibraryWhoseExpertEntryUsesTheSameInstance) {
  TIdeRun run = RunIde(IdeSetup("PackageFirst", L"wizard"));
  ExpectCleanShutdown(run);
  EXPECT_EQ(run.Lines(L"PACKAGE-INITIALIZED ").size(), 1u);
  EXPECT_EQ(run.Count("load wizard"), 1u);  // unit initializations ran once
  EXPECT_EQ(run.Count("wizard applied"), 1u);
  EXPECT_EQ(AboutDescription(run), DescriptionHead + L"applied: Test patch installed at expert entry [Compiler.TestWizard]");
  EXPECT_TRUE(MessageBoxes(run).empty());
}

TEST(StartupPackage, ExpertAloneLoadsTheLibrary) {
  TIdeSetup setup = IdeSetup("ExpertOnly", L"wizard");
  setup.StartupPackage = false;
  TIdeRun run = RunIde(setup);
  ExpectCleanShutdown(run);
  EXPECT_EQ(run.Count("load wizard"), 1u);
  EXPECT_EQ(run.Count("wizard applied"), 1u);
  EXPECT_EQ(run.Lines(L"ABOUT-ADD ").size(), 1u);
}

TEST(StartupPackage, LoadsSilentlyWithoutTheLibraryBesideIt) {
  TIdeSetup setup = IdeSetup("PackageAlone", L"wizard");
  setup.LibraryBesidePackage = false;
  setup.ExpertRegistrations = 0;
  TIdeRun run = RunIde(setup);
  ExpectCleanShutdown(run);
  EXPECT_EQ(run.Lines(L"PACKAGE-INITIALIZED ").size(), 1u);
  EXPECT_TRUE(run.Lines(L"PACKAGE-REFUSED ").empty());
  EXPECT_TRUE(run.Lines(L"EXCEPTION ").empty());
  EXPECT_TRUE(MessageBoxes(run).empty());
  EXPECT_TRUE(run.Events.empty());
}

TEST(LibraryLoad, FailingUnitInitializationLeavesNoPatchBehind) {
  // Loaded as an expert only, so bccide.dll (loaded after the IDE packages) is
  // there for the load-time test patch. Control: that patch does change the
  // host's function.
  TIdeSetup control = IdeSetup("LoadHook", L"hook-at-load", {L"-bccide", L"-run", L"cppload", L"7", L"0"});
  control.StartupPackage = false;
  TIdeRun patched = RunIde(control);
  EXPECT_TRUE(patched.Saw(L"CPP-LOAD 7 0 -> 4242"));

  TIdeSetup setup = IdeSetup("LoadFails", L"hook-at-load;raise-at-load", {L"-bccide", L"-run", L"cppload", L"7", L"0"});
  setup.StartupPackage = false;
  TIdeRun run = RunIde(setup);
  ExpectCleanShutdown(run);
  EXPECT_TRUE(run.Saw(L"EXCEPTION Exception: Test unit initialization failed"));
  EXPECT_EQ(run.Count("load hook-at-load"), 1u);
  EXPECT_EQ(run.Count("finalize hook-at-load"), 1u);
  EXPECT_EQ(run.Lines(L"EXPERT-REFUSED ").size(), 1u);  // the load failed where the IDE sees it
  EXPECT_TRUE(run.Saw(L"CPP-LOAD 7 0 -> 7"));  // the host's own code runs, unpatched
}

TEST(CompilerLoad, WithoutCppProcsCppLoadCompilerIsLeftAlone) {
  TIdeRun run = RunIde(IdeSetup("NoCppProcs", L"wizard-fail", {L"-bccide", L"-run", L"cppload", L"1", L"0"}));
  ExpectCleanShutdown(run);
  EXPECT_TRUE(run.Saw(L"CPP-LOAD 1 0 -> 1"));
  auto boxes = MessageBoxes(run);
  ASSERT_EQ(boxes.size(), 1u);  // an interception would warn again after the load
  EXPECT_EQ(boxes[0].Caption, Title);
}

TEST(CompilerLoad, WithoutBccideAtTheEntryCppPatchesNeverRun) {
  TIdeRun run = RunIde(IdeSetup("NoBccide", L"cpp", {L"-run", L"cppload", L"1", L"0"}));
  ExpectCleanShutdown(run);
  EXPECT_TRUE(run.Saw(L"CPP-LOAD 1 0 -> 1"));
  EXPECT_EQ(run.Count("cpp applied"), 0u);
  EXPECT_EQ(AboutDescription(run), DescriptionHead + L"(no patches installed)");
}

TEST(CompilerLoad, LoadRunsCppProcsAndWarnsOfTheirFailures) {
  TIdeRun run = RunIde(IdeSetup("CppLoad", L"wizard;cpp;cpp-fail", {L"-bccide", L"-run", L"cppload", L"1", L"0"}));
  ExpectCleanShutdown(run);
  EXPECT_TRUE(run.Saw(L"CPP-LOAD 1 0 -> 1"));
  EXPECT_EQ(run.Count("cpp applied"), 1u);
  EXPECT_EQ(run.Count("cpp failed"), 1u);
  // The about entry was made before any C++ patch registered.
  EXPECT_EQ(AboutDescription(run), DescriptionHead + L"applied: Test patch installed at expert entry [Compiler.TestWizard]");
  auto boxes = MessageBoxes(run);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Caption, L"Quillmend");
  EXPECT_EQ(boxes[0].Style, IconWarning);
  EXPECT_EQ(boxes[0].Text, WarningHead + L"failed : Test C++ patch whose target is missing [bcc.TestCppFailed]");
}

TEST(CompilerLoad, OtherActionsArePassedStraightThrough) {
  TIdeRun run = RunIde(IdeSetup("OtherAction", L"cpp", {L"-bccide", L"-run", L"cppload", L"7", L"0"}));
  ExpectCleanShutdown(run);
  EXPECT_TRUE(run.Saw(L"CPP-LOAD 7 0 -> 7"));
  EXPECT_EQ(run.Count("cpp applied"), 0u);
}

TEST(CompilerLoad, CompilerLoadedAtTheEntryRunsCppProcsThereAndALaterLoadOnlyForwards) {
  TIdeRun run = RunIde(IdeSetup("Comp32xFirst", L"cpp", {L"-comp32x", L"-run", L"cppload", L"1", L"0"}));
  ExpectCleanShutdown(run);
  EXPECT_EQ(run.Count("cpp applied"), 1u);
  EXPECT_TRUE(run.Saw(L"CPP-LOAD 1 0 -> 1"));
  EXPECT_EQ(AboutDescription(run), DescriptionHead + L"applied: Test patch of the C++ compiler [CppCompiler.TestCpp]");
}

TEST(CompilerLoad, ForcedLoadReRegistersCppPatchesWithoutDuplicateErrors) {
  TIdeRun run = RunIde(IdeSetup("ForcedLoad", L"cpp", {L"-comp32x", L"-run", L"cppload", L"1", L"1"}));
  ExpectCleanShutdown(run);
  EXPECT_EQ(run.Count("cpp applied"), 2u);
  EXPECT_TRUE(run.Saw(L"CPP-LOAD 1 1 -> 1"));
  EXPECT_TRUE(run.Lines(L"EXCEPTION ").empty());
  EXPECT_TRUE(MessageBoxes(run).empty());
}

TEST(CompilerLoad, CppProcExceptionGoesToTheGlobalHandlerOrAnErrorBox) {
  TIdeRun handled = RunIde(IdeSetup("CppRaisesHandled", L"cpp-raise", {L"-bccide", L"-run", L"cppload", L"1", L"0"}));
  ExpectCleanShutdown(handled);
  EXPECT_TRUE(handled.Saw(L"EXCEPTION Exception: Test C++ compiler-init procedure failed"));
  EXPECT_TRUE(handled.Saw(L"CPP-LOAD 1 0 -> 1"));  // the host's result still comes back
  EXPECT_TRUE(MessageBoxes(handled).empty());

  TIdeRun boxed = RunIde(
      IdeSetup("CppRaisesBoxed", L"cpp-raise", {L"-bccide", L"-noapphandler", L"-run", L"cppload", L"1", L"0"}));
  ExpectCleanShutdown(boxed);
  EXPECT_TRUE(boxed.Lines(L"EXCEPTION ").empty());
  EXPECT_TRUE(boxed.Saw(L"CPP-LOAD 1 0 -> 1"));
  auto boxes = MessageBoxes(boxed);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Caption, L"Quillmend");
  EXPECT_EQ(boxes[0].Style, IconError);
  EXPECT_EQ(boxes[0].Text, L"Test C++ compiler-init procedure failed");
}
