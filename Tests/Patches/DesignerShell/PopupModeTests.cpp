// The compile progress form's parent window: unpatched always the
// application's window; patched the main form's, when there is a main form
// taller than 120 pixels. Other forms keep theirs.
#include <gtest/gtest.h>

#include <windows.h>

#include "DesignerStandIns.h"
#include "Patches/DesignerShell/CompileProgressPopupModeFix.h"

namespace {

using namespace FormWindowDriver;
using DesignerStandIns::FormWindows;

const wchar_t* const PopupMode = L"IDE.CompileProgess.PopupMode";
const HWND MainWindow = reinterpret_cast<HWND>(0x4D41494E);

template <class T>
T& At(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

// A main form of that height (0: no main form) whose window is MainWindow.
void SetMainForm(int height) {
  void* form = nullptr;
  if (height > 0) {
    form = DesignerStandIns::NewForm();
    At<int32_t>(form, FormLayout::Height) = height;
    At<HWND>(form, FormLayout::Handle) = MainWindow;
  }
  FormWindows().SetMainForm(form);
}

HWND ParentOf(void* form) {
  TCreateParams params;
  FormWindows().CallCreateParams(form, &params);
  return params.WndParent;
}

struct TParentCase {
  const char* Name;
  int MainFormHeight;  // 0: none
  bool ProgressForm;   // else another form
  bool MainWindowPatched;
};

const TParentCase ParentCases[] = {
    {"NoMainForm", 0, true, false},
    {"AMainFormOf120", 120, true, false},
    {"AMainFormOf121", 121, true, true},
    {"ATallMainForm", 900, true, true},
    {"AnotherForm", 900, false, false},
};

void PrintTo(const TParentCase& c, std::ostream* os) { *os << c.Name; }

class DesignerProgressParent : public testing::TestWithParam<std::tuple<TParentCase, bool>> {};

TEST_P(DesignerProgressParent, IsTheMainFormWhenItIsTallEnough) {
  const TParentCase& c = std::get<0>(GetParam());
  const bool patched = std::get<1>(GetParam());
  DesignerStandIns::Load();
  if (patched) {
    DesignerStandIns::Install();
    ASSERT_EQ(DesignerStandIns::Status(PopupMode), L"applied") << DesignerStandIns::Reasons();
  }
  SetMainForm(c.MainFormHeight);
  void* other = DesignerStandIns::NewForm();
  DesignerStandIns::Progress().Begin(8, 0);
  void* progress = *reinterpret_cast<void**>(
      GetProcAddress(GetModuleHandleW(L"coreide150.bpl"), CompileProgressDriver::Export::ProgressForm));
  const HWND applicationWindow = ParentOf(other);
  EXPECT_NE(applicationWindow, MainWindow);
  const HWND expected = patched && c.MainWindowPatched ? MainWindow : applicationWindow;
  EXPECT_EQ(ParentOf(c.ProgressForm ? progress : other), expected);
  // The rest of the parameters are the host's.
  TCreateParams params;
  FormWindows().CallCreateParams(progress, &params);
  EXPECT_EQ(params.Style, DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN));
  EXPECT_STREQ(params.WinClassName, L"TQmStandInForm");
  DesignerStandIns::Progress().End();
}

INSTANTIATE_TEST_SUITE_P(Cases, DesignerProgressParent, testing::Combine(testing::ValuesIn(ParentCases), testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<TParentCase, bool>>& info) {
                           return std::string(std::get<0>(info.param).Name) +
                                  (std::get<1>(info.param) ? "_Patched" : "_Unpatched");
                         });

} // namespace
