// Switching the view of a file removed from the project: unpatched, its
// handler is freed while the file stays registered; patched, the
// registration is dropped first. Files kept in the project switch as
// before, and the adapter keeps the host's registers and stack.
#include <gtest/gtest.h>

#include "Common/RegisterCall.h"
#include "DesignerStandIns.h"

namespace {

using DesignerStandIns::Module;
using DesignerStandIns::SwitchView;

const wchar_t* const FileRemoval = L"IDE.FileRemovalSwitchTextToFormFix";

void LoadAndInstall() {
  DesignerStandIns::Load();
  DesignerStandIns::Install();
  ASSERT_EQ(DesignerStandIns::Status(FileRemoval), L"applied") << DesignerStandIns::Reasons();
}

TEST(DesignerFileRemoval, UnpatchedARemovedFileStaysRegisteredAfterItsHandlerIsFreed) {
  DesignerStandIns::Load();
  EXPECT_EQ(SwitchView("Removed.pas", true, false, 2), "registered=1 freed=1 refreshed=0 notified=0 switched=0");
}

TEST(DesignerFileRemoval, PatchedARemovedFileIsUnregisteredBeforeItsHandlerIsFreed) {
  LoadAndInstall();
  EXPECT_EQ(SwitchView("Removed.pas", true, false, 2), "registered=0 freed=1 refreshed=0 notified=0 switched=0");
  EXPECT_EQ(SwitchView("Shown.pas", true, true, 0), "registered=0 freed=1 refreshed=0 notified=0 switched=0");
}

struct TKeptCase {
  bool ShowsForm;
  int Items;
  const char* Expected;
};

const TKeptCase KeptCases[] = {
    {false, 0, "registered=1 freed=0 refreshed=1 notified=0 switched=1"},
    {false, 1, "registered=1 freed=0 refreshed=1 notified=1 switched=1"},
    {false, 5, "registered=1 freed=0 refreshed=1 notified=5 switched=1"},
    {true, 5, "registered=1 freed=0 refreshed=0 notified=0 switched=1"},
};

TEST(DesignerFileRemoval, PatchedKeptFilesSwitchAsBefore) {
  LoadAndInstall();
  for (const TKeptCase& c : KeptCases) {
    SCOPED_TRACE(c.Expected);
    EXPECT_EQ(SwitchView("Kept.pas", false, c.ShowsForm, c.Items), c.Expected);
  }
}

TEST(DesignerFileRemoval, TheAdapterKeepsTheHostsRegistersAndStack) {
  LoadAndInstall();
  void* handler = Module().NewHandler("Checked.pas", 0, 1);
  Module().MarkRemoved(handler);
  QmHost::RegisterCallReport report;
  QmHost::CallRegisterChecked(reinterpret_cast<const void*>(Module().Swap), report, {QmHost::RegisterWord(handler)});
  EXPECT_TRUE(report.Clean()) << "imbalance " << report.imbalance << ", clobbered " << report.clobbered;
  EXPECT_EQ(Module().Freed(handler), 1);
  EXPECT_EQ(Module().Registered("Checked.pas"), 0);
}

} // namespace
