// The editor, parser and code-completion fixes three ways against their
// stand-ins: each applied alone (the stand-ins' results where nothing is
// faulty unchanged), disabled (nothing of it written), against builds the
// pack does not know (that patch failed with a reason, or ignored without
// the refactoring package; nothing of it written), the code restored byte
// for byte afterwards in every case.
#include <gtest/gtest.h>

#include "EditorStandIns.h"
#include "Framework/PatchPlan.h"
#include "Patches/EditorParser/BackgroundParserUtils.h"
#include "Patches/EditorParser/ClassComplOperatorOverloadFix.h"
#include "Patches/EditorParser/CnWizardsCloseEditorFix.h"
#include "Patches/EditorParser/EditKernelUndoSpeed.h"
#include "Patches/EditorParser/RefactoringActionUpdateFix.h"
#include "ThreeWayHarness.h"

namespace {

const wchar_t* const UndoSpeed = L"IDE.Editor.UndoSpeed";
const wchar_t* const DisableUndoProtect = L"IDE.Editor.DisableUndoProtect";
const wchar_t* const CopyTrim = L"IDE.Editor.CopyTrimTrailingBlanks";
const wchar_t* const FocusFix = L"Editor.FocusFix";
const wchar_t* const ElisionLock = L"IDE.Parser.ElisionLock";
const wchar_t* const CnWizardsAV = L"IDE.EditorControl.CnWizardsAV";
const wchar_t* const RefactoringCmdsUpdate = L"IDE.RefactoringCmdsUpdate";
const wchar_t* const PublishedBlock = L"Editor.PublishedBlock";
const wchar_t* const ClassOperatorIn = L"IDE.ClassCompletion.ClassOperatorIn";
const wchar_t* const ParserUtils = L"IDE.BackgroundParserUtils";

const std::vector<TPatchRow> PatchRows = {
    {UndoSpeed, {}},   {DisableUndoProtect, {}},    {CopyTrim, {}},       {FocusFix, {}},        {ElisionLock, {}},
    {CnWizardsAV, {}}, {RefactoringCmdsUpdate, {}}, {PublishedBlock, {}}, {ClassOperatorIn, {}},
};

const std::vector<TVariantRow> VariantRows = {
    {"undogroup", {UndoSpeed}},
    {"undoloop", {UndoSpeed}},
    {"undorange", {UndoSpeed}},
    // Parse holds other code: the helper's pseudo-patch is listed failed; the rest applies.
    {"parse", {ParserUtils}},
    {"hideblock", {CnWizardsAV}},
    {"refactorupdate", {RefactoringCmdsUpdate}},
    {"ensuresection", {PublishedBlock}},
    {"completea", {ClassOperatorIn}},
    {"completeb", {ClassOperatorIn}},
    {"completec", {ClassOperatorIn}},
    // B's call reaches another routine than C's: retargeting it would hand B's callers C's replacement.
    {"completeb-ownreserved", {ClassOperatorIn}},
    {"nohookmainwindow", {FocusFix}},
    {"norefactoride", {}, nullptr, {}, {RefactoringCmdsUpdate}, {L"refactoride150.bpl"}},
};

// The harness has set "Quillmend.DisabledPatches" already.
void InstallAsTheLibrary() {
  wchar_t disabled[512] = {};
  GetEnvironmentVariableW(L"Quillmend.DisabledPatches", disabled, 512);
  EditorStandIns::Install(disabled);
}

const TThreeWaySubsystem& EditorParser() {
  static const TThreeWaySubsystem subsystem{
      EditorStandIns::ModuleFiles(),
      [] { EditorStandIns::BindLoaded(); },
      [] { InstallAsTheLibrary(); },
      [] { return EditorStandIns::Exercise(); },
      {UndoSpeed, DisableUndoProtect, CopyTrim, FocusFix, ElisionLock, CnWizardsAV, RefactoringCmdsUpdate,
       PublishedBlock, ClassOperatorIn},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(EditorParser, EditorParser(), PatchRows, VariantRows)

const TReasonRow ReasonCases[] = {
    {"undoloop", UndoSpeed, L"UndoLoop: pattern not found"},
    {"hideblock", CnWizardsAV, L"TCustomEditControl.HideBlock +0x09: "},
    {"refactorupdate", RefactoringCmdsUpdate, L"TDelphiRefactorMenuItem.Update +0x00: "},
    {"completeb-ownreserved", ClassOperatorIn, L"ClassCompletionB +0x03: call to IsReserved (ClassCompletionC +0x03) expected"},
};

std::vector<Quillmend::TPatchPlan> ReasonPlans() {
  std::vector<Quillmend::TPatchPlan> plans;
  plans.push_back(Quillmend::UndoSpeedPlan());
  plans.push_back(Quillmend::CnWizardsCloseEditorPlan());
  plans.push_back(Quillmend::RefactoringCmdsUpdatePlan());
  plans.push_back(Quillmend::ClassOperatorInPlan());
  return plans;
}

QM_FAILURE_REASON_TESTS(EditorParser, EditorStandIns::Load, ReasonPlans, ReasonCases);

// The helper's pseudo-patch is listed only where Parse holds other code, with its text.
TEST(EditorParserHelper, PseudoPatchListedOnlyWhenTheFlagOffsetIsUnknown) {
  EditorStandIns::Load();
  EditorStandIns::Install();
  EXPECT_EQ(EditorStandIns::Status(ParserUtils), L"");
  EXPECT_EQ(Quillmend::BackgroundParsingFlagOffset(), 0x30);
}

TEST(EditorParserHelper, PseudoPatchFailsWithItsText) {
  EditorStandIns::Load("parse");
  EditorStandIns::Install();
  EXPECT_EQ(EditorStandIns::Status(ParserUtils), L"failed");
  for (const Quillmend::TPatchReport& report : Quillmend::PatchReports()) {
    if (report.Name == ParserUtils) {
      EXPECT_EQ(report.Description, L"Could not get \"Parsing: Boolean\" offset");
    }
  }
  EXPECT_EQ(Quillmend::BackgroundParsingFlagOffset(), -1);
  EXPECT_FALSE(Quillmend::IsBackgroundParsing());
}

} // namespace
