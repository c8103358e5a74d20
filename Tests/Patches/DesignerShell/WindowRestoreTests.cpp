// WM_SETTINGCHANGE at the IDE's main form: unpatched its own handler
// restores a minimised window; patched only TCustomForm's handler runs, so
// the window stays as it is. The setting change is handled either way, and
// other forms and messages are untouched.
#include <gtest/gtest.h>

#include <windows.h>

#include "DesignerStandIns.h"
#include "Patches/DesignerShell/WMSettingsChangeFix.h"

namespace {

using DesignerStandIns::FormWindows;
using DesignerStandIns::MainForms;

const wchar_t* const WindowRestore = L"IDE.WindowRestoreFix";

struct TSettingCase {
  const char* Name;
  bool Minimized;
  bool MainForm;  // else another form
  UINT Message;
  // unpatched → patched: the window state afterwards, setting changes handled
  int StateOff, StateOn;
  int HandledOff, HandledOn;
};

const TSettingCase SettingCases[] = {
    {"AMinimisedMainFormStaysMinimised", true, true, WM_SETTINGCHANGE, 0, 1, 1, 1},
    {"ANormalMainForm", false, true, WM_SETTINGCHANGE, 0, 0, 1, 1},
    {"AnotherForm", true, false, WM_SETTINGCHANGE, 1, 1, 1, 1},
    {"AnotherMessage", true, true, WM_TIMECHANGE, 1, 1, 0, 0},
};

void PrintTo(const TSettingCase& c, std::ostream* os) { *os << c.Name; }

class DesignerSettingChange : public testing::TestWithParam<std::tuple<TSettingCase, bool>> {};

TEST_P(DesignerSettingChange, LeavesTheWindowAsItIs) {
  const TSettingCase& c = std::get<0>(GetParam());
  const bool patched = std::get<1>(GetParam());
  DesignerStandIns::Load();
  void* mainForm = MainForms().New(c.Minimized);
  if (patched) {
    DesignerStandIns::Install();
    ASSERT_EQ(DesignerStandIns::Status(WindowRestore), L"applied") << DesignerStandIns::Reasons();
  }
  void* other = DesignerStandIns::NewForm();
  const int handled = FormWindows().SettingChanges();
  FormWindows().SendFormMessage(c.MainForm ? mainForm : other, c.Message, 0, 0);
  int state = -1, restores = -1;
  MainForms().State(mainForm, &state, &restores);
  if (!c.MainForm) state = c.Minimized;  // the main form was not asked
  EXPECT_EQ(state, patched ? c.StateOn : c.StateOff);
  EXPECT_EQ(FormWindows().SettingChanges() - handled, patched ? c.HandledOn : c.HandledOff);
  EXPECT_EQ(restores, c.Minimized && c.MainForm && c.Message == WM_SETTINGCHANGE && !patched ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, DesignerSettingChange, testing::Combine(testing::ValuesIn(SettingCases), testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<TSettingCase, bool>>& info) {
                           return std::string(std::get<0>(info.param).Name) +
                                  (std::get<1>(info.param) ? "_Patched" : "_Unpatched");
                         });

TEST(DesignerSettingChange, WithoutAMainFormOrAHandlerThePatchFails) {
  DesignerStandIns::Load();
  FormWindows().SetMainForm(nullptr);
  // A check without the IDE cannot tell; an installation fails.
  Quillmend::TPatchPlan dry = Quillmend::WindowRestoreFixPlan();
  EXPECT_TRUE(Quillmend::DryRunPlan(dry).NeedsRunningIde);
  // A main form inheriting the handler: the inherited entry is the one replaced.
  FormWindows().SetMainForm(DesignerStandIns::NewFormWithoutHandlers());
  Quillmend::TPatchPlan inherited = Quillmend::WindowRestoreFixPlan();
  EXPECT_TRUE(Quillmend::DryRunPlan(inherited).Applies);
  DesignerStandIns::DropFormSettingHandler();
  Quillmend::TPatchPlan again = Quillmend::WindowRestoreFixPlan();
  const Quillmend::TPlanVerdict verdict = Quillmend::DryRunPlan(again);
  EXPECT_FALSE(verdict.Applies);
  EXPECT_EQ(verdict.Reason, L"the main form's class: no dynamic method 26");
  FormWindows().SetMainForm(nullptr);
  SetEnvironmentVariableW(L"Quillmend.DisabledPatches", L"");
  Quillmend::TPatchPlan installed = Quillmend::WindowRestoreFixPlan();
  EXPECT_FALSE(Quillmend::InstallPlan(installed));
  EXPECT_EQ(DesignerStandIns::Status(WindowRestore), L"failed");
}

} // namespace
