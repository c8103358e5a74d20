#include "Patches/EditorParser/RefactoringActionUpdateFix.h"

#include "Framework/HostFinally.h"
#include "Framework/LibraryEntry.h"
#include "Patches/EditorParser/BackgroundParserUtils.h"
#include "Patches/EditorParser/EditorParserHost.h"
#include "Patches/EditorParser/EditorParserPatterns.h"

namespace Quillmend {

using namespace EditorParserHost;

TRefactorUpdate OrgRefactorUpdate = nullptr;
TActionExecute OrgActionExecute = nullptr;
TMenuIsShortCut OrgMenuIsShortCut = nullptr;
TImportNamespaceExecute OrgImportNamespaceExecute = nullptr;

namespace {

using TMonitorStart = void(QM_REGISTER*)(int32_t kind);
using TMonitorFinished = void(QM_REGISTER*)();
using TSetEnabled = void(QM_REGISTER*)(void* action, uint32_t value);
using TShortCutFromMessage = uint16_t(QM_REGISTER*)(const void* keyMessage);

constexpr int32_t RefactoringMonitorKind = 2;

const uint8_t* g_backgroundCompiling = nullptr;
TMonitorStart g_monitorStart = nullptr;
TMonitorFinished g_monitorFinished = nullptr;
TSetEnabled g_setEnabled = nullptr;
TShortCutFromMessage g_shortCutFromMessage = nullptr;

// The main thread's state (actions run there).
void* g_executingAction = nullptr;
uint16_t g_dispatchedShortCut = 0;

uint16_t ActionShortCut(const void* action) {
  return *reinterpret_cast<const uint16_t*>(static_cast<const char*>(action) + ActionLayout::ShortCut);
}

// f() inside a kibitzing-monitor section, closed also when f raises.
template <class F>
void InMonitorSection(F&& f) {
  g_monitorStart(RefactoringMonitorKind);
  HostTryFinally(f, []() noexcept { g_monitorFinished(); });
}

} // namespace

void* ExecutingAction() { return g_executingAction; }
uint16_t DispatchedShortCut() { return g_dispatchedShortCut; }

void QM_REGISTER RefactorUpdateReplacement(void* action, void* commands, uint32_t force) {
  if (!(force & 0xFF) && *g_backgroundCompiling) {
    g_setEnabled(action, 0);
    return;
  }
  if (action != g_executingAction) {
    if (g_dispatchedShortCut != 0 && ActionShortCut(action) != g_dispatchedShortCut) return;
    if (IsBackgroundParsing()) {
      g_setEnabled(action, 0);
      return;
    }
  }
  InMonitorSection([&] { OrgRefactorUpdate(action, commands, force); });
}

uint8_t QM_REGISTER ActionExecuteReplacement(void* action) {
  void* const previous = g_executingAction;
  g_executingAction = action;
  uint8_t result = 0;
  HostTryFinally([&] { result = OrgActionExecute(action); }, [&]() noexcept { g_executingAction = previous; });
  return result;
}

uint8_t QM_REGISTER MenuIsShortCutReplacement(void* menu, void* keyMessage) {
  const uint16_t previous = g_dispatchedShortCut;
  g_dispatchedShortCut = g_shortCutFromMessage(keyMessage);
  uint8_t result = 0;
  HostTryFinally([&] { result = OrgMenuIsShortCut(menu, keyMessage); },
                 [&]() noexcept { g_dispatchedShortCut = previous; });
  return result;
}

void QM_REGISTER ImportNamespaceExecuteReplacement(void* self, void* sender) {
  InMonitorSection([&] { OrgImportNamespaceExecute(self, sender); });
}

TPatchPlan RefactoringCmdsUpdatePlan() {
  namespace P = EditorParserPatterns;
  TPatchPlan plan(L"IDE.RefactoringCmdsUpdate", L"Refactor menu item OnUpdate");
  plan.IgnoreWhen(L"refactoride150.bpl is not loaded",
                  [](const TPlanValues&) { return ResolvePlanModule(RefactorIde) == nullptr; });
  TSiteRef import = plan.Export(L"actnImportNamespaceExecute", RefactorIde, Export::ImportNamespaceExecute);
  TSiteRef itemUpdate = plan.Export(L"TDelphiRefactorMenuItem.Update", RefactorIde, Export::RefactorMenuItemUpdate);
  plan.ExpectBytes(itemUpdate, 0, P::RefactorMenuItemUpdate);
  TSiteRef update = plan.CallTargetOf(L"refactoring actions' update", itemUpdate, P::RefactorUpdateCall);
  TSiteRef compiling = plan.Export(L"BackgroundCompiling", RefactorIde, Export::BackgroundCompiling);
  TSiteRef execute = plan.Export(L"TCustomAction.Execute", Vcl, Export::ActionExecute);
  TSiteRef setEnabled = plan.Export(L"TCustomAction.SetEnabled", Vcl, Export::ActionSetEnabled);
  TSiteRef isShortCut = plan.Export(L"TMenu.IsShortCut", Vcl, Export::MenuIsShortCut);
  TSiteRef shortCutFromMessage = plan.Export(L"ShortCutFromMessage", Vcl, Export::ShortCutFromMessage);
  TSiteRef start = plan.Export(L"TKibitzingMonitor.Start", CoreIde, Export::MonitorStart);
  TSiteRef finished = plan.Export(L"TKibitzingMonitor.Finished", CoreIde, Export::MonitorFinished);
  plan.RedirectOrgCall(update, &RefactorUpdateReplacement, reinterpret_cast<void**>(&OrgRefactorUpdate));
  plan.RedirectOrgCall(execute, &ActionExecuteReplacement, reinterpret_cast<void**>(&OrgActionExecute));
  plan.RedirectOrgCall(isShortCut, &MenuIsShortCutReplacement, reinterpret_cast<void**>(&OrgMenuIsShortCut));
  plan.RedirectOrgCall(import, &ImportNamespaceExecuteReplacement, reinterpret_cast<void**>(&OrgImportNamespaceExecute));
  plan.OnCommit([=](const TPlanValues& v) {
    g_backgroundCompiling = v.Site(compiling);
    g_setEnabled = reinterpret_cast<TSetEnabled>(v.Site(setEnabled));
    g_shortCutFromMessage = reinterpret_cast<TShortCutFromMessage>(v.Site(shortCutFromMessage));
    g_monitorStart = reinterpret_cast<TMonitorStart>(v.Site(start));
    g_monitorFinished = reinterpret_cast<TMonitorFinished>(v.Site(finished));
    g_executingAction = nullptr;
    g_dispatchedShortCut = 0;
  });
  return plan;
}

void InstallRefactoringActionUpdateFix() {
  TPatchPlan plan = RefactoringCmdsUpdatePlan();
  InstallPlan(plan);
}

namespace {

void InitializeRefactoringActionUpdateFix() { AddWizardInitProc(&InstallRefactoringActionUpdateFix); }

std::vector<TPatchPlan> RefactoringActionUpdateFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(RefactoringCmdsUpdatePlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_RefactoringActionUpdateFix = {"RefactoringActionUpdateFix", &InitializeRefactoringActionUpdateFix,
                                                   nullptr, &RefactoringActionUpdateFixPlans};

} // namespace Quillmend
