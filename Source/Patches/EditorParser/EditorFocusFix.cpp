#include "Patches/EditorParser/EditorFocusFix.h"

#include <windows.h>

#include "Patches/EditorParser/EditorParserHost.h"

namespace Quillmend {

using namespace EditorParserHost;

namespace {

void** g_application = nullptr;  // the variables Application and Screen
void** g_screen = nullptr;
const void* g_hookMainWindow = nullptr;
const void* g_unhookMainWindow = nullptr;
void* g_hookedApplication = nullptr;  // the application the hook was added to

template <class T>
T FieldOf(const void* object, int offset) {
  return *reinterpret_cast<const T*>(static_cast<const char*>(object) + offset);
}

// The active form's window, or null (no active form, or one without a window).
HWND ActiveFormWindow() {
  void* screen = g_screen ? *g_screen : nullptr;
  void* form = screen ? FieldOf<void*>(screen, ScreenLayout::ActiveForm) : nullptr;
  return form ? FieldOf<HWND>(form, FormLayout::Handle) : nullptr;
}

THostMethod Hook() { return THostMethod{reinterpret_cast<const void*>(&FocusFixHook), nullptr}; }

} // namespace

uint8_t QM_REGISTER FocusFixHook(void*, void* message) {
  const auto* m = static_cast<const TMessage*>(message);
  if (m->Msg == WM_ACTIVATEAPP && m->WParam != 0) {
    void* app = g_application ? *g_application : nullptr;
    if (ActiveFormWindow() && app) PostMessageW(FieldOf<HWND>(app, ApplicationLayout::Handle), FocusFixActivateMessage, 0, 0);
  } else if (m->Msg == FocusFixActivateMessage) {
    if (HWND window = ActiveFormWindow()) SetActiveWindow(window);
  }
  return 0;
}

TPatchPlan FocusFixPlan() {
  TPatchPlan plan(L"Editor.FocusFix", L"Editor Focus Fix", TInstallMoment::UnitInit);
  TSiteRef application = plan.Export(L"Application", Vcl, Export::Application);
  TSiteRef screen = plan.Export(L"Screen", Vcl, Export::Screen);
  TSiteRef hook = plan.Export(L"TApplication.HookMainWindow", Vcl, Export::HookMainWindow);
  TSiteRef unhook = plan.Export(L"TApplication.UnhookMainWindow", Vcl, Export::UnhookMainWindow);
  // The application object exists only in the running IDE.
  plan.Computed(L"Application object",
                [=](const TPlanValues& v) { return *reinterpret_cast<void**>(v.Site(application)); }, true);
  plan.OnCommit([=](const TPlanValues& v) {
    g_application = reinterpret_cast<void**>(v.Site(application));
    g_screen = reinterpret_cast<void**>(v.Site(screen));
    g_hookMainWindow = v.Site(hook);
    g_unhookMainWindow = v.Site(unhook);
  });
  return plan;
}

void InstallEditorFocusFix() {
  TPatchPlan plan = FocusFixPlan();
  if (!InstallPlanVerdict(plan).Applies || g_hookedApplication) return;
  g_hookedApplication = *g_application;
  CallHostWithMethod(g_hookMainWindow, g_hookedApplication, Hook());
}

void RemoveEditorFocusFix() {
  if (!g_hookedApplication) return;
  CallHostWithMethod(g_unhookMainWindow, g_hookedApplication, Hook());
  g_hookedApplication = nullptr;
}

bool EditorFocusFixHooked() { return g_hookedApplication != nullptr; }

namespace {

std::vector<TPatchPlan> EditorFocusFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(FocusFixPlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_EditorFocusFix = {"EditorFocusFix", &InstallEditorFocusFix, &RemoveEditorFocusFix,
                                       &EditorFocusFixPlans};

} // namespace Quillmend
