#include "Patches/DesignerShell/CompileProgressPopupModeFix.h"

#include <windows.h>

#include "Framework/HostObjectModel.h"
#include "Framework/LibraryEntry.h"
#include "Patches/DesignerShell/DesignerShellHost.h"

namespace Quillmend {

using namespace DesignerShellHost;

TCreateParams OrgProgressCreateParams = nullptr;

namespace {

// TCreateParams: Caption, Style, ExStyle, X, Y, Width, Height, then WndParent.
constexpr int CreateParamsWndParent = 28;

void* const* g_application = nullptr;

template <class T>
T& At(void* object, int offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

} // namespace

void QM_REGISTER ProgressCreateParamsReplacement(void* form, void* params) {
  OrgProgressCreateParams(form, params);
  void* application = *g_application;
  void* mainForm = application ? At<void*>(application, ApplicationLayout::MainForm) : nullptr;
  if (mainForm && At<int32_t>(mainForm, FormLayout::Height) >= PopupParentMinHeight)
    At<HWND>(params, CreateParamsWndParent) = At<HWND>(mainForm, FormLayout::Handle);
}

TPatchPlan CompileProgressPopupModePlan() {
  TPatchPlan plan(L"IDE.CompileProgess.PopupMode", L"Sets CompileProgess hwndParent to Application.MainFormHandle");
  TSiteRef progressClass = plan.Export(L"TProgressForm", CoreIde, Export::ProgressFormClass);
  // The class record is filled when its package has run: before that only the running IDE can answer.
  TSiteRef built = plan.Computed(
      L"TProgressForm class record",
      [progressClass](const TPlanValues& v) -> void* {
        return HostInstanceSize(v.Site(progressClass)) != 0 ? v.Site(progressClass) : nullptr;
      },
      true);
  TSiteRef createParams = plan.Export(L"TCustomForm.CreateParams", Vcl, Export::CustomFormCreateParams);
  TSiteRef application = plan.Export(L"Application", Vcl, Export::Application);
  plan.VmtField(built, plan.Address(createParams), &ProgressCreateParamsReplacement);
  plan.OnCommit([=](const TPlanValues& v) {
    OrgProgressCreateParams = reinterpret_cast<TCreateParams>(v.Site(createParams));
    g_application = reinterpret_cast<void* const*>(v.Site(application));
  });
  return plan;
}

void InstallCompileProgressPopupModeFix() {
  TPatchPlan plan = CompileProgressPopupModePlan();
  InstallPlan(plan);
}

namespace {

void InitializeCompileProgressPopupModeFix() { AddWizardInitProc(&InstallCompileProgressPopupModeFix); }

std::vector<TPatchPlan> CompileProgressPopupModeFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(CompileProgressPopupModePlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_CompileProgressPopupModeFix = {"CompileProgressPopupModeFix",
                                                    &InitializeCompileProgressPopupModeFix, nullptr,
                                                    &CompileProgressPopupModeFixPlans};

} // namespace Quillmend
