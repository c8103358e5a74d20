#include "Patches/DesignerShell/WMSettingsChangeFix.h"

#include <windows.h>

#include "Framework/HostObjectModel.h"
#include "Framework/LibraryEntry.h"
#include "Patches/DesignerShell/DesignerShellHost.h"

namespace Quillmend {

using namespace DesignerShellHost;

namespace {

using THandler = void(QM_REGISTER*)(void* form, void* message);
THandler g_baseHandler = nullptr;

} // namespace

void QM_REGISTER MainFormSettingChange(void* form, void* message) { g_baseHandler(form, message); }

TPatchPlan WindowRestoreFixPlan() {
  TPatchPlan plan(L"IDE.WindowRestoreFix", L"Stop IDE from restoring the main window on WM_SETTINGSCHANGE");
  TSiteRef application = plan.Export(L"Application", Vcl, Export::Application);
  TSiteRef base = plan.Export(L"TCustomForm.WMSettingChange", Vcl, Export::CustomFormWMSettingChange);
  // The main form exists once the IDE runs.
  TSiteRef mainFormClass = plan.Computed(
      L"the main form's class",
      [application](const TPlanValues& v) -> void* {
        void* app = *reinterpret_cast<void* const*>(v.Site(application));
        void* mainForm = app ? *reinterpret_cast<void* const*>(static_cast<char*>(app) + ApplicationLayout::MainForm)
                             : nullptr;
        return mainForm ? HostClassOf(mainForm) : nullptr;
      },
      true);
  plan.DynamicMethod(mainFormClass, WM_SETTINGCHANGE, &MainFormSettingChange);
  plan.OnCommit([=](const TPlanValues& v) { g_baseHandler = reinterpret_cast<THandler>(v.Site(base)); });
  return plan;
}

void InstallWMSettingsChangeFix() {
  TPatchPlan plan = WindowRestoreFixPlan();
  InstallPlan(plan);
}

namespace {

void InitializeWMSettingsChangeFix() { AddWizardInitProc(&InstallWMSettingsChangeFix); }

std::vector<TPatchPlan> WMSettingsChangeFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(WindowRestoreFixPlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_WMSettingsChangeFix = {"WMSettingsChangeFix", &InitializeWMSettingsChangeFix, nullptr,
                                            &WMSettingsChangeFixPlans};

} // namespace Quillmend
