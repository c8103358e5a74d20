// The form-loading error dialogs: unpatched they come at their fixed sizes;
// patched, the recovery dialog is sizeable, 200 pixels wider, its controls
// anchored and its button panel kept in the corner on every resize while
// shown; the read-error dialog is sizeable with its buttons in a bottom
// panel, the message filling the rest and the file named in the caption.
// Contents and modal results are the host's either way.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

#include "Common/HostRtl.h"
#include "DesignerStandIns.h"
#include "Framework/HostExcept.h"
#include "Patches/DesignerShell/SmallDfmLoadErrorDlgsPatch.h"
#include "delphicoreide150/ErrorDialogsDriver.h"
#include "rtl150/ComponentsDriver.h"
#include "vcl150/WinControlDriver.h"

namespace {

using namespace ErrorDialogsDriver;
using DesignerStandIns::ErrorDialogs;
namespace W = WinControlDriver;

const wchar_t* const SmallErrorDlgs = L"IDE.Designer.SmallErrorDlgs";

template <class T>
T At(const void* object, int offset) {
  return *reinterpret_cast<const T*>(static_cast<const char*>(object) + offset);
}

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (const wchar_t* p = text; p && *p; ++p) out += *p < 0x80 ? char(*p) : '?';
  return out;
}

// What the probe saw of the shown dialog, by name: "dialog" and its controls.
std::map<std::string, std::string> g_seen;
enum class TAfterShow { Nothing, Resize, ResizeHidden, Raise } g_after = TAfterShow::Nothing;

std::string DescribeControl(const void* control, const std::map<const void*, std::string>& names) {
  const void* parent = At<const void*>(control, W::ControlLayout::Parent);
  const auto name = names.find(parent);
  char text[256];
  std::snprintf(text, sizeof text, "parent=%s at=%d,%d size=%dx%d anchors=%d align=%d margins=%d visible=%d color=%X",
                name == names.end() ? "new" : name->second.c_str(), At<int>(control, W::ControlLayout::Left),
                At<int>(control, W::ControlLayout::Top), At<int>(control, W::ControlLayout::Width),
                At<int>(control, W::ControlLayout::Height), At<uint8_t>(control, W::WinControlLayout::Anchors),
                At<uint8_t>(control, W::WinControlLayout::Align), At<int>(control, W::WinControlLayout::Margins),
                At<uint8_t>(control, W::ControlLayout::Visible), At<unsigned>(control, W::WinControlLayout::Color));
  return text;
}

void Describe(void* dialog) {
  g_seen.clear();
  const bool recover = QmHost::HostClassName(dialog) == L"TRecoverFormInheritence";
  const std::map<std::string, int> fields =
      recover ? std::map<std::string, int>{{"list", RecoverLayout::ListBox}, {"message", RecoverLayout::Message},
                                           {"panel", RecoverLayout::ButtonPanel}, {"ok", RecoverLayout::Ok},
                                           {"cancel", RecoverLayout::Cancel}, {"ignore", RecoverLayout::Ignore}}
              : std::map<std::string, int>{{"message", ReadErrorLayout::Message}, {"ignore", ReadErrorLayout::Ignore},
                                           {"ignoreall", ReadErrorLayout::IgnoreAll}, {"cancel", ReadErrorLayout::Cancel}};
  std::map<const void*, std::string> names = {{dialog, "dialog"}};
  for (const auto& f : fields) names[At<const void*>(dialog, f.second)] = f.first;
  for (const auto& f : fields) {
    const void* control = At<const void*>(dialog, f.second);
    g_seen[f.first] = DescribeControl(control, names);
    g_seen[f.first + ".text"] = Narrow(At<const wchar_t*>(control, W::WinControlLayout::Caption));
    g_seen[f.first + ".items"] = Narrow(At<const wchar_t*>(control, W::WinControlLayout::Items));
  }
  char text[128];
  std::snprintf(text, sizeof text, "style=%d icons=%d client=%dx%d resize=%d", At<uint8_t>(dialog, DialogLayout::BorderStyle),
                At<uint8_t>(dialog, DialogLayout::BorderIcons), At<int>(dialog, DialogLayout::ClientWidth),
                At<int>(dialog, DialogLayout::ClientHeight), At<const void*>(dialog, DialogLayout::OnResize) != nullptr);
  g_seen["dialog"] = text;
  g_seen["dialog.caption"] = Narrow(At<const wchar_t*>(dialog, DialogLayout::Caption));
}

void __stdcall Probe(void* dialog) {
  Describe(dialog);
  void* panel = At<void*>(dialog, RecoverLayout::ButtonPanel);
  if (g_after == TAfterShow::Resize || g_after == TAfterShow::ResizeHidden) {
    uint8_t& visible = *reinterpret_cast<uint8_t*>(static_cast<char*>(dialog) + W::ControlLayout::Visible);
    visible = g_after == TAfterShow::Resize;
    ErrorDialogs().Resize(dialog, 700, 300);
    visible = 1;
    g_seen["resized panel"] = DescribeControl(panel, {{dialog, "dialog"}});
  } else if (g_after == TAfterShow::Raise) {
    const QmHost::HostRtl* rtl = QmHost::LoadedHostRtl();
    rtl->raiseExcept(rtl->NewException(L"Closed by force"));
  }
}

void LoadAndMaybeInstall(bool patched) {
  DesignerStandIns::Load();
  if (!patched) return;
  DesignerStandIns::Install();
  ASSERT_EQ(DesignerStandIns::Status(SmallErrorDlgs), L"applied") << DesignerStandIns::Reasons();
}

struct TDialogCase {
  const char* Name;
  bool Recover;      // else the read-error dialog
  const char* Part;  // a key of g_seen
  const char* Unpatched;
  const char* Patched;  // null: as unpatched
};

const TDialogCase DialogCases[] = {
    {"RecoverForm", true, "dialog", "style=3 icons=9 client=360x220 resize=0", "style=2 icons=1 client=560x220 resize=1"},
    {"RecoverList", true, "list",
     "parent=dialog at=8,40 size=344x120 anchors=0 align=0 margins=0 visible=1 color=0",
     "parent=dialog at=8,40 size=344x120 anchors=7 align=0 margins=0 visible=1 color=0"},
    {"RecoverMessage", true, "message",
     "parent=dialog at=8,8 size=344x28 anchors=0 align=0 margins=0 visible=1 color=0",
     "parent=dialog at=8,8 size=344x28 anchors=15 align=0 margins=0 visible=1 color=0"},
    {"RecoverPanelInTheCorner", true, "panel",
     "parent=dialog at=104,172 size=248x40 anchors=0 align=0 margins=0 visible=1 color=0",
     "parent=dialog at=304,172 size=248x40 anchors=12 align=0 margins=0 visible=1 color=0"},
    {"RecoverButton", true, "ok", "parent=panel at=0,8 size=75x25 anchors=0 align=0 margins=0 visible=1 color=0",
     "parent=panel at=0,8 size=75x25 anchors=12 align=0 margins=0 visible=1 color=0"},
    {"RecoverIgnoreHidden", true, "ignore",
     "parent=panel at=168,8 size=75x25 anchors=0 align=0 margins=0 visible=0 color=0",
     "parent=panel at=168,8 size=75x25 anchors=12 align=0 margins=0 visible=0 color=0"},
    {"RecoverItems", true, "list.items", "TFormA,TFormB,TBaseForm", nullptr},
    {"RecoverText", true, "message.text",
     "Form \"Form2\" inherits from \"TBaseForm\", which is not found in \"Unit2.pas\". Choose the form to inherit from "
     "instead:",
     nullptr},
    {"ReadErrorForm", false, "dialog", "style=3 icons=1 client=420x160 resize=0", "style=2 icons=1 client=420x160 resize=0"},
    {"ReadErrorCaption", false, "dialog.caption", "Error Reading Form", "\"Unit1.dfm\": Error Reading Form"},
    {"ReadErrorMessage", false, "message",
     "parent=dialog at=8,8 size=404x100 anchors=0 align=0 margins=0 visible=1 color=0",
     "parent=dialog at=8,8 size=404x100 anchors=0 align=5 margins=8 visible=1 color=0"},
    {"ReadErrorText", false, "message.text", "Property Foo does not exist", nullptr},
    {"ReadErrorCancelRightmost", false, "cancel",
     "parent=dialog at=340,124 size=75x25 anchors=0 align=0 margins=0 visible=1 color=0",
     "parent=new at=337,2 size=75x25 anchors=6 align=0 margins=0 visible=1 color=0"},
    {"ReadErrorIgnoreAll", false, "ignoreall",
     "parent=dialog at=255,124 size=75x25 anchors=0 align=0 margins=0 visible=1 color=0",
     "parent=new at=258,2 size=75x25 anchors=6 align=0 margins=0 visible=1 color=0"},
    {"ReadErrorIgnoreLeftmost", false, "ignore",
     "parent=dialog at=170,124 size=75x25 anchors=0 align=0 margins=0 visible=1 color=0",
     "parent=new at=179,2 size=75x25 anchors=6 align=0 margins=0 visible=1 color=0"},
};

void PrintTo(const TDialogCase& c, std::ostream* os) { *os << c.Name; }

class DesignerErrorDialog : public testing::TestWithParam<std::tuple<TDialogCase, bool>> {};

TEST_P(DesignerErrorDialog, IsLaidOut) {
  const TDialogCase& c = std::get<0>(GetParam());
  const bool patched = std::get<1>(GetParam());
  LoadAndMaybeInstall(patched);
  DesignerStandIns::SetModalProbe(&Probe, 6);
  const int result = c.Recover ? ErrorDialogs().Recover(L"Form2", L"TBaseForm", L"Unit2.pas", L"TFormA,TFormB,TBaseForm", 0)
                               : ErrorDialogs().ReadError(L"Unit1.dfm", L"Property Foo does not exist");
  EXPECT_EQ(result, 6);
  EXPECT_EQ(g_seen[c.Part], patched && c.Patched ? c.Patched : c.Unpatched);
}

INSTANTIATE_TEST_SUITE_P(Cases, DesignerErrorDialog, testing::Combine(testing::ValuesIn(DialogCases), testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<TDialogCase, bool>>& info) {
                           return std::string(std::get<0>(info.param).Name) +
                                  (std::get<1>(info.param) ? "_Patched" : "_Unpatched");
                         });

void __stdcall PanelProbe(void* dialog) {
  void* panel = At<void*>(At<void*>(dialog, ReadErrorLayout::Cancel), W::ControlLayout::Parent);
  g_seen["panel"] = DescribeControl(panel, {{dialog, "dialog"}});
}

TEST(DesignerErrorDialog, TheReadErrorPanelHoldsTheButtons) {
  LoadAndMaybeInstall(true);
  DesignerStandIns::SetModalProbe(&PanelProbe, 1);
  ErrorDialogs().ReadError(L"Unit1.dfm", L"x");
  // Bottom-aligned, button face, the buttons' height + 4.
  EXPECT_EQ(g_seen["panel"], "parent=dialog at=0,131 size=420x29 anchors=0 align=2 margins=0 visible=1 color=FF00000F");
}

TEST(DesignerErrorDialog, TheRecoveryPanelFollowsEveryResizeWhileShown) {
  LoadAndMaybeInstall(true);
  DesignerStandIns::SetModalProbe(&Probe, 1);
  g_after = TAfterShow::Resize;
  ErrorDialogs().Recover(L"Form2", L"TBaseForm", L"Unit2.pas", L"", 1);
  EXPECT_EQ(g_seen["resized panel"], "parent=dialog at=444,252 size=248x40 anchors=12 align=0 margins=0 visible=1 color=0");
  g_after = TAfterShow::ResizeHidden;
  ErrorDialogs().Recover(L"Form2", L"TBaseForm", L"Unit2.pas", L"", 1);
  EXPECT_EQ(g_seen["resized panel"], "parent=dialog at=304,172 size=248x40 anchors=12 align=0 margins=0 visible=1 color=0");
  EXPECT_EQ(g_seen["ignore"].find("visible=1") != std::string::npos, true);
  g_after = TAfterShow::Nothing;
}

TEST(DesignerErrorDialog, ARaiseWhileShownFreesTheDialog) {
  LoadAndMaybeInstall(true);
  void* application = *reinterpret_cast<void**>(GetProcAddress(GetModuleHandleW(L"vcl150.bpl"), "@Forms@Application"));
  const int owned = At<int>(application, ComponentsDriver::ComponentLayout::ComponentCount);
  DesignerStandIns::SetModalProbe(&Probe, 1);
  g_after = TAfterShow::Raise;
  Quillmend::THostCaught caught;
  EXPECT_FALSE(Quillmend::HostTryExcept([] { ErrorDialogs().ReadError(L"Unit1.dfm", L"x"); }, caught));
  g_after = TAfterShow::Nothing;
  EXPECT_EQ(QmHost::HostExceptionMessage(caught.Object), L"Closed by force");
  DesignerStandIns::FreeObject(caught.Object);
  EXPECT_EQ(At<int>(application, ComponentsDriver::ComponentLayout::ComponentCount), owned);
}

TEST(DesignerErrorDialog, ADialogOfAnotherSizeFailsThePatch) {
  DesignerStandIns::Load();
  DesignerStandIns::GrowReadErrorDialog();
  Quillmend::TPatchPlan plan = Quillmend::SmallErrorDlgsPlan();
  const Quillmend::TPlanVerdict verdict = Quillmend::DryRunPlan(plan);
  EXPECT_FALSE(verdict.Applies);
  EXPECT_EQ(verdict.Reason, L"TReadErrorDlg: not the declared instance size (932)");
}

} // namespace
