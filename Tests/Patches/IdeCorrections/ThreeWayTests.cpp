// The IDE corrections three ways against their stand-ins: each patch applied
// alone (the editor's answers on texts without literals and every drawn
// pixel unchanged), disabled (nothing of it written), and against builds of
// the editor kernel and the component library the pack does not know (that
// patch failed with a reason, nothing of it written); the code restored byte
// for byte afterwards in every case.
#include <gtest/gtest.h>

#include "Framework/PatchPlan.h"
#include "Patches/IdeCorrections/EditorKernelParanMachtingFix.h"
#include "Patches/IdeCorrections/GDIResourceReduction.h"
#include "Patches/IdeCorrections/HelpInsightParserTaskFix.h"
#include "StandIns.h"
#include "ThreeWayHarness.h"

namespace {

const wchar_t* const ParanMatching = L"IDE.Editor.ParanMatching";
const wchar_t* const ToolBar = L"IDE.GDIHandles.ToolBar";
const wchar_t* const TabScroller = L"IDE.GDIHandles.TabScroller";
const wchar_t* const ImageList = L"IDE.GDIHandles.ImageList";
const wchar_t* const HelpInsightWaitFor = L"IDE.HelpInsight.WaitFor";

const std::vector<TPatchRow> PatchRows = {
    {ParanMatching, {}},
    {ToolBar, {}},
    {TabScroller, {}},
    {ImageList, {}},
    {HelpInsightWaitFor, {}},
};

const std::vector<TVariantRow> VariantRows = {
    {"bracketstart", {ParanMatching}},
    {"bracketcompare", {ParanMatching}},
    {"bracketnesting", {ParanMatching}},
    // The nesting check calls a comparison of its own: compare B would stand in for the wrong routine.
    {"bracketnesting-owncompare", {ParanMatching}},
    {"toolbarcreate", {ToolBar}},
    {"toolbardestroy", {ToolBar}},
    {"imagelistinit", {ImageList}},
    {"imagelistfree", {ImageList}},
    // The list keeps its bitmap at another field than the one the replacements use.
    {"imagelistinit-field50", {ImageList}},
    {"nopaint", {TabScroller}},
    {"parsewait", {HelpInsightWaitFor}},
};

const TThreeWaySubsystem& IdeCorrections() {
  static const TThreeWaySubsystem subsystem{
      StandIns::ModuleFiles(),
      [] { StandIns::BindLoaded(); },
      [] {
        Quillmend::InstallGDIResourceReduction();
        Quillmend::InstallEditorKernelParanMachtingFix();
        Quillmend::InstallHelpInsightParserTaskFix();
      },
      [] {
        return StandIns::ExerciseBrackets() + " | " + StandIns::ExerciseGraphics() + " | " +
               StandIns::ExerciseParseWait();
      },
      {ParanMatching, ToolBar, TabScroller, ImageList, HelpInsightWaitFor},
  };
  return subsystem;
}

QM_THREE_WAY_TESTS(IdeCorrections, IdeCorrections(), PatchRows, VariantRows)

const TReasonRow ReasonCases[] = {
    {"bracketstart", ParanMatching, L"BracketSearchStart: pattern not found"},
    {"bracketnesting", ParanMatching, L"BracketSearchNesting: pattern not found"},
    {"bracketnesting-owncompare", ParanMatching,
     L"BracketSearchNesting +0x1B: the comparison of BracketSearchCompare +0x0E: "},
    {"toolbardestroy", ToolBar, L"TToolBar.Destroy frees: pattern not found"},
    {"imagelistinit-field50", ImageList, L"TCustomImageList.Initialize bitmap +0x0E: 0x54 expected, 0x50 found"},
    {"nopaint", TabScroller, L"TScroller.Paint: export not found in vcl150.bpl"},
    {"parsewait", HelpInsightWaitFor, L"TParseThread wait for work: pattern not found"},
};

std::vector<Quillmend::TPatchPlan> ReasonPlans() {
  std::vector<Quillmend::TPatchPlan> plans = Quillmend::GDIResourceReductionPlans();
  plans.push_back(Quillmend::ParanMatchingPlan());
  for (Quillmend::TPatchPlan& plan : Quillmend::HelpInsightParserTaskFixPlans()) plans.push_back(std::move(plan));
  return plans;
}

QM_FAILURE_REASON_TESTS(IdeCorrections, StandIns::Load, ReasonPlans, ReasonCases);

} // namespace
