#include "Patches/IdeCorrections/HelpInsightViewCommand.h"

#include <cstdio>
#include <exception>

#include "Framework/EnvironmentOptions.h"
#include "Framework/HostFinally.h"
#include "Framework/LibraryEntry.h"
#include "Patches/IdeCorrections/HelpInsightInteropCache.h"

namespace Quillmend {

namespace {

const wchar_t* const CoreIde = L"coreide150.bpl";
const wchar_t* const Vcl = L"vcl150.bpl";
const wchar_t* const HelpInsightOption = L"CodeInsightHelpInsight";

// {55A5E848-27FB-4880-8E7C-7F05A9802482}
const GUID ModuleServicesId = {0x55A5E848, 0x27FB, 0x4880, {0x8E, 0x7C, 0x7F, 0x05, 0xA9, 0x80, 0x24, 0x82}};
constexpr int CurrentModuleSlot = 6;     // module services: CurrentModule (EDX = @Result)
constexpr int ModuleObjectSlot = 18;     // module: the object it yields (EDX = @Result)
constexpr int MayShowSlot = 9;           // documentation: stdcall (Self, out Boolean) → HRESULT
constexpr int32_t crDefault = 0;
constexpr int32_t crHourGlass = -11;
constexpr uint32_t MonitorKinds = 2;     // the set {1}

using TCommand = void(QM_REGISTER*)(void* self, void* sender);
using TBooleanFunction = bool(QM_REGISTER*)();
using TMonitorStart = void(QM_REGISTER*)(uint32_t kinds);
using TMonitorFinish = void(QM_REGISTER*)();
using TSetEnabled = void(QM_REGISTER*)(void* action, uint32_t value);
using TSetCursor = void(QM_REGISTER*)(void* screen, int32_t cursor);
using TInterfaceResult = void(QM_REGISTER*)(void* self, void** result);
using TMayShow = HRESULT(__stdcall*)(void* self, uint8_t* allows);

// Bound at publication, before the redirections go live.
void* g_orgExecute = nullptr;
TBooleanFunction g_backgroundCompileActive = nullptr;
TMonitorStart g_monitorStart = nullptr;
TMonitorFinish g_monitorFinish = nullptr;
TSetEnabled g_setEnabled = nullptr;
TSetCursor g_setCursor = nullptr;
void** g_screen = nullptr;  // the variable Screen

TPatchPlan ViewCommandPlan() {
  TPatchPlan plan(L"IDE.HelpInsightViewCmd", L"HelpInsight View Command", TInstallMoment::WizardInit);
  TSiteRef update = plan.Export(L"TViewCommands.actnViewHelpInsightUpdate", CoreIde,
                                "@Coreviewcmds@TViewCommands@actnViewHelpInsightUpdate$qqrp14System@TObject");
  TSiteRef execute = plan.Export(L"TViewCommands.actnViewHelpInsightExecute", CoreIde,
                                 "@Coreviewcmds@TViewCommands@actnViewHelpInsightExecute$qqrp14System@TObject");
  TSiteRef background =
      plan.Export(L"GetBackgroundCompileActive", CoreIde, "@Cominout@GetBackgroundCompileActive$qqrv");
  TSiteRef start = plan.Export(
      L"TKibitzingMonitor.Start", CoreIde,
      "@Cominout@TKibitzingMonitor@Start$qqrx58System@%Set$t30Cominout@_TKibitzingMonitor@_1$iuc$0$iuc$1%");
  TSiteRef finish = plan.Export(L"TKibitzingMonitor.Finish", CoreIde, "@Cominout@TKibitzingMonitor@Finish$qqrv");
  // What GetEnvironmentOptionBool reaches.
  plan.Export(L"EnvironmentOptions", CoreIde, "@Envoptions@EnvironmentOptions");
  plan.Export(L"TPropField.GetValue", L"vclide150.bpl", "@Idepropset@TPropField@GetValue$qqrv");
  TSiteRef setEnabled = plan.Export(L"TCustomAction.SetEnabled", Vcl, "@Actnlist@TCustomAction@SetEnabled$qqro");
  TSiteRef screen = plan.Export(L"Screen", Vcl, "@Forms@Screen");
  TSiteRef setCursor = plan.Export(L"TScreen.SetCursor", Vcl, "@Forms@TScreen@SetCursor$qqrx18System@Uitypes@TCursor");
  plan.OnCommit([=](const TPlanValues& v) {
    g_backgroundCompileActive = reinterpret_cast<TBooleanFunction>(v.Site(background));
    g_monitorStart = reinterpret_cast<TMonitorStart>(v.Site(start));
    g_monitorFinish = reinterpret_cast<TMonitorFinish>(v.Site(finish));
    g_setEnabled = reinterpret_cast<TSetEnabled>(v.Site(setEnabled));
    g_setCursor = reinterpret_cast<TSetCursor>(v.Site(setCursor));
    g_screen = reinterpret_cast<void**>(v.Site(screen));
  });
  plan.Redirect(update, &ViewHelpInsightUpdate);
  plan.RedirectOrgCall(execute, &ViewHelpInsightExecute, &g_orgExecute);
  return plan;
}

// The IDE's current module, or empty.
THostInterface CurrentModule() {
  THostInterface services, module;
  if (!BorlandIDEServices || HostQueryInterface(BorlandIDEServices, ModuleServicesId, services.Ref()) != S_OK ||
      !services)
    return module;
  HostInterfaceMethod<TInterfaceResult>(services.Get(), CurrentModuleSlot)(services.Get(), module.Ref());
  return module;
}

// The module's documentation interface, or empty.
THostInterface Documentation(void* module) {
  THostInterface documentation;
  if (HostQueryInterface(module, IID_HelpInsightDocumentation, documentation.Ref()) != S_OK) documentation.Reset();
  return documentation;
}

bool HelpInsightOn() {
  try {
    return GetEnvironmentOptionBool(HelpInsightOption);
  } catch (const std::exception&) {
    // An update handler runs on every idle moment: a missing option
    // disables the command instead of raising each time.
    return false;
  }
}

bool ViewAllowed() {
  if (!HelpInsightOn()) return false;
  THostInterface module = CurrentModule();
  if (!module) return false;
  THostInterface object;
  HostInterfaceMethod<TInterfaceResult>(module.Get(), ModuleObjectSlot)(module.Get(), object.Ref());
  if (!object) return false;
  if (g_backgroundCompileActive()) return false;
  return bool(Documentation(module.Get()));
}

// Method 9 of the current module's documentation; a failing status raises.
bool DocumentationAllows() {
  THostInterface module = CurrentModule();
  if (!module) return false;
  THostInterface documentation = Documentation(module.Get());
  if (!documentation) return false;
  uint8_t allows = 0;
  const HRESULT hr =
      HostInterfaceMethod<TMayShow>(documentation.Get(), MayShowSlot)(documentation.Get(), &allows);
  if (FAILED(hr)) {
    char text[96];
    std::snprintf(text, sizeof text, "Quillmend: HelpInsight is not available (HRESULT 0x%08lX)",
                  static_cast<unsigned long>(hr));
    throw EQuillmendError(text);
  }
  return allows != 0;
}

void SetScreenCursor(int32_t cursor) {
  if (void* screen = *g_screen) g_setCursor(screen, cursor);
}

void InitializeHelpInsightViewCommand() { AddWizardInitProc(&InstallHelpInsightViewCommand); }

}  // namespace

void QM_REGISTER ViewHelpInsightUpdate(void*, void* sender) {
  HostBoundary([sender] { g_setEnabled(sender, ViewAllowed() ? 1 : 0); });
}

void QM_REGISTER ViewHelpInsightExecute(void* self, void* sender) {
  HostBoundary([self, sender] {
    SetScreenCursor(crHourGlass);
    g_monitorStart(MonitorKinds);
    // The interfaces are released before the host's handler runs: a host
    // exception leaves these frames without running destructors.
    HostTryFinally(
        [self, sender] {
          if (DocumentationAllows()) reinterpret_cast<TCommand>(g_orgExecute)(self, sender);
        },
        []() noexcept {
          g_monitorFinish();
          SetScreenCursor(crDefault);
        });
  });
}

std::vector<TPatchPlan> HelpInsightViewCommandPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(ViewCommandPlan());
  return plans;
}

void InstallHelpInsightViewCommand() {
  TPatchPlan plan = ViewCommandPlan();
  InstallPlan(plan);
}

const TUnitInfo Unit_HelpInsightViewCommand = {"HelpInsightViewCommand", &InitializeHelpInsightViewCommand, nullptr,
                                               &HelpInsightViewCommandPlans};

}  // namespace Quillmend
