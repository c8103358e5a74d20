// Editor.FocusFix with real windows (run under Xvfb): the application
// window of the stand-in component library and forms with windows. When
// the application is activated again (WM_ACTIVATEAPP with wParam 1), the
// hook posts message 1565 and, on it, activates the screen's active form;
// without an active form, or with one that has no window, nothing happens.
// The application's own handling still sees every activation (the hook
// never reports a message handled), and the hook goes at finalization.
#include <gtest/gtest.h>

#include <stdexcept>

#include "Patches/EditorParser/EditorFocusFix.h"
#include "TestPaths.h"
#include "vcl150/FormsDriver.h"

namespace {

FormsDriver::Driver g_forms;

HWND LoadWithWindow() {
  for (const wchar_t* file : {L"rtl150.bpl", L"vcl150.bpl"})
    if (!LoadLibraryW((BuildDirectory() + L"\\host\\" + file).c_str())) throw std::runtime_error("cannot load");
  if (!g_forms.Bind(GetModuleHandleW(L"vcl150.bpl"))) throw std::runtime_error("no driver");
  return g_forms.ApplicationHandle(1);
}

void Pump() {
  MSG message;
  for (int i = 0; i < 20; ++i) {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(5);
  }
}

struct TActivation {
  HWND Active;
  int Activations;
};

// `other` active, then the application activated again with `form` as the screen's active form.
TActivation ActivateApplication(HWND application, void* form, HWND other) {
  g_forms.SetActiveForm(form);
  SetActiveWindow(other);
  Pump();
  SendMessageW(application, WM_ACTIVATEAPP, 1, 0);
  Pump();
  int activations = 0;
  g_forms.ApplicationState(nullptr, &activations);
  return TActivation{GetActiveWindow(), activations};
}

TEST(EditorParserFocusFix, ActivationGivesTheActiveFormTheFocusBack) {
  const HWND application = LoadWithWindow();
  ASSERT_NE(application, nullptr) << "no display";
  void* form = g_forms.NewForm(1);
  void* other = g_forms.NewForm(1);
  const HWND formWindow = g_forms.FormHandle(form), otherWindow = g_forms.FormHandle(other);
  const TActivation host = ActivateApplication(application, form, otherWindow);
  EXPECT_EQ(host.Active, otherWindow);  // the host leaves the focus where it was
  Quillmend::InstallEditorFocusFix();
  ASSERT_TRUE(Quillmend::EditorFocusFixHooked());
  int hooks = 0;
  g_forms.ApplicationState(&hooks, nullptr);
  EXPECT_EQ(hooks, 1);
  const TActivation patched = ActivateApplication(application, form, otherWindow);
  EXPECT_EQ(patched.Active, formWindow);
  EXPECT_EQ(patched.Activations, host.Activations + 1);  // not handled by the hook
  // Deactivation (wParam 0) changes nothing.
  SetActiveWindow(otherWindow);
  SendMessageW(application, WM_ACTIVATEAPP, 0, 0);
  Pump();
  EXPECT_EQ(GetActiveWindow(), otherWindow);
  Quillmend::RemoveEditorFocusFix();
  g_forms.ApplicationState(&hooks, nullptr);
  EXPECT_EQ(hooks, 0);
  EXPECT_EQ(ActivateApplication(application, form, otherWindow).Active, otherWindow);
}

TEST(EditorParserFocusFix, NoActiveFormOrOneWithoutAWindowNothingHappens) {
  const HWND application = LoadWithWindow();
  ASSERT_NE(application, nullptr) << "no display";
  void* other = g_forms.NewForm(1);
  void* windowless = g_forms.NewForm(0);
  const HWND otherWindow = g_forms.FormHandle(other);
  Quillmend::InstallEditorFocusFix();
  for (void* form : {static_cast<void*>(nullptr), windowless}) {
    g_forms.SetActiveForm(form);
    SetActiveWindow(otherWindow);
    Pump();
    SendMessageW(application, WM_ACTIVATEAPP, 1, 0);
    MSG message;
    EXPECT_FALSE(PeekMessageW(&message, application, Quillmend::FocusFixActivateMessage,
                              Quillmend::FocusFixActivateMessage, PM_NOREMOVE));
    Pump();
    EXPECT_EQ(GetActiveWindow(), otherWindow);
  }
  // A 1565 that arrives without an active form's window changes nothing either.
  g_forms.SetActiveForm(windowless);
  SendMessageW(application, Quillmend::FocusFixActivateMessage, 0, 0);
  EXPECT_EQ(GetActiveWindow(), otherWindow);
  Quillmend::RemoveEditorFocusFix();
}

} // namespace
