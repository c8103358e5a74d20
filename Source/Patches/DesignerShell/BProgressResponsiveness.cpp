#include "Patches/DesignerShell/BProgressResponsiveness.h"

#include <atomic>
#include <cstring>
#include <string>

#include "Framework/LibraryEntry.h"
#include "Patches/DesignerShell/DesignerShellHost.h"
#include "Patches/DesignerShell/DesignerShellPatterns.h"

namespace Quillmend {

using namespace DesignerShellHost;

TBProgress OrgBProgress = nullptr;
TProgressFormMethod OrgProgressFormShow = nullptr;
TProgressFormMethod OrgProgressCancelClick = nullptr;
TCancelExchange OrgCancelExchange = nullptr;

namespace {

// The progress form's options: bit value 8, messages may be processed
// while the compile runs (the form can be cancelled).
constexpr int ProgressFormOptions = 900;
constexpr uint32_t ProgressFormPumps = 8;

using TCanceled = uint8_t(QM_REGISTER*)(void* monitor);
using TProcessMessages = void(QM_REGISTER*)(void* application);

// The host's state, set at publication.
volatile LONG* g_cancelVariable = nullptr;
void* const* g_progressForm = nullptr;
const uint8_t* g_preparing = nullptr;
void* const* g_monitor = nullptr;
TCanceled g_canceled = nullptr;
const DWORD* g_mainThread = nullptr;
void* const* g_application = nullptr;
TProcessMessages g_processMessages = nullptr;

// Ours. The throttled state is the main thread's only.
std::atomic<bool> g_cancelClicked{false};
bool g_pumped = false;
DWORD g_lastPump = 0;
bool g_havePrevious = false;
std::string g_previousName;
int32_t g_previousKind = 0;
DWORD g_previousTime = 0;

bool Monitored() {
  return !*g_preparing && GetCurrentThreadId() == *g_mainThread && *g_monitor != nullptr;
}

bool CancelWanted() {
  void* monitor = *g_monitor;
  if (monitor && (g_canceled(monitor) & 0xFF)) return true;
  return *g_progressForm && g_cancelClicked.load();
}

bool SameAsPrevious(const char* fileName, int32_t kind, DWORD now) {
  return g_havePrevious && kind == g_previousKind && now - g_previousTime < ProgressThrottleMs &&
         g_previousName == (fileName ? fileName : "");
}

void Remember(const char* fileName, int32_t kind, DWORD now) {
  std::wstring error;
  g_havePrevious = CatchToMessage([&] { g_previousName = fileName ? fileName : ""; }, error);
  g_previousKind = kind;
  g_previousTime = now;
}

} // namespace

int32_t __stdcall BProgressReplacement(int32_t second, int32_t first, const char* fileName, int32_t kind) {
  if (!Monitored()) return OrgBProgress(second, first, fileName, kind);
  const DWORD now = GetTickCount();
  if (SameAsPrevious(fileName, kind, now)) {
    int32_t result = InterlockedExchange(g_cancelVariable, 0);
    if (CancelWanted()) result = 1;
    if (result == 1) OrgBProgress(second, first, fileName, kind);
    return result;
  }
  Remember(fileName, kind, now);
  int32_t result = OrgBProgress(second, first, fileName, kind);
  if (result == 0 && CancelWanted()) result = 1;
  return result;
}

LONG __stdcall CancelExchangeWrapper(volatile LONG* target, LONG value) {
  const LONG taken = OrgCancelExchange(target, value);
  if (Monitored()) {
    const DWORD now = GetTickCount();
    void* form = *g_progressForm;
    if ((!g_pumped || now - g_lastPump >= ProgressThrottleMs) && form) {
      uint32_t options;
      std::memcpy(&options, static_cast<const char*>(form) + ProgressFormOptions, 4);
      if (options & ProgressFormPumps) {
        g_pumped = true;
        g_lastPump = now;
        g_processMessages(*g_application);
      }
    }
  }
  return taken;
}

void QM_REGISTER ProgressFormShowReplacement(void* form, void* sender) {
  g_cancelClicked = false;
  OrgProgressFormShow(form, sender);
}

void QM_REGISTER ProgressCancelClickReplacement(void* form, void* sender) {
  g_cancelClicked = true;
  OrgProgressCancelClick(form, sender);
}

TPatchPlan CompileBProgressPlan() {
  namespace P = DesignerShellPatterns;
  TPatchPlan plan(L"IDE.Compile.BProgress", L"IDE compile responsiveness");
  TSiteRef bprogress = plan.Export(L"BPROGRESS", CoreIde, Export::BProgress);
  TSiteRef exchange =
      plan.PatternFrom(L"BProgressCancel", bprogress, 0, P::BProgressCancelExchange, P::BProgressWindow);
  TCaptureRef variable = plan.Operand(exchange, P::BProgressCancelVariable);
  TCaptureRef orgExchange = plan.CallTarget(exchange, P::BProgressExchangeCall);
  TSiteRef formShow = plan.Export(L"TProgressForm.FormShow", CoreIde, Export::ProgressFormShow);
  TSiteRef cancelClick = plan.Export(L"TProgressForm.CancelButtonClick", CoreIde, Export::ProgressCancelClick);
  TSiteRef progressForm = plan.Export(L"ProgressForm", CoreIde, Export::ProgressForm);
  TSiteRef preparing = plan.Export(L"Preparing", CoreIde, Export::CompilePreparing);
  TSiteRef monitor = plan.Export(L"ProgressMonitor", CoreIde, Export::ProgressMonitor);
  TSiteRef canceled = plan.Export(L"TKibitzingMonitor.Canceled", CoreIde, Export::KibitzingCanceled);
  TSiteRef mainThread = plan.Export(L"MainThreadID", Rtl, Export::MainThreadId);
  TSiteRef application = plan.Export(L"Application", Vcl, Export::Application);
  TSiteRef processMessages = plan.Export(L"TApplication.ProcessMessages", Vcl, Export::ProcessMessages);
  plan.RetargetCall(exchange, P::BProgressExchangeCall, &CancelExchangeWrapper);
  plan.RedirectOrgCall(formShow, &ProgressFormShowReplacement, reinterpret_cast<void**>(&OrgProgressFormShow));
  plan.RedirectOrgCall(cancelClick, &ProgressCancelClickReplacement,
                       reinterpret_cast<void**>(&OrgProgressCancelClick));
  plan.RedirectOrgCall(bprogress, &BProgressReplacement, reinterpret_cast<void**>(&OrgBProgress));
  plan.OnCommit([=](const TPlanValues& v) {
    g_cancelVariable = reinterpret_cast<volatile LONG*>(v.Value(variable));
    OrgCancelExchange = v.Get<TCancelExchange>(orgExchange);
    g_progressForm = reinterpret_cast<void* const*>(v.Site(progressForm));
    g_preparing = v.Site(preparing);
    g_monitor = reinterpret_cast<void* const*>(v.Site(monitor));
    g_canceled = reinterpret_cast<TCanceled>(v.Site(canceled));
    g_mainThread = reinterpret_cast<const DWORD*>(v.Site(mainThread));
    g_application = reinterpret_cast<void* const*>(v.Site(application));
    g_processMessages = reinterpret_cast<TProcessMessages>(v.Site(processMessages));
  });
  return plan;
}

void InstallBProgressResponsiveness() {
  TPatchPlan plan = CompileBProgressPlan();
  InstallPlan(plan);
}

namespace {

void InitializeBProgressResponsiveness() { AddWizardInitProc(&InstallBProgressResponsiveness); }

std::vector<TPatchPlan> BProgressResponsivenessPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(CompileBProgressPlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_BProgressResponsiveness = {"BProgressResponsiveness", &InitializeBProgressResponsiveness, nullptr,
                                                &BProgressResponsivenessPlans};

} // namespace Quillmend
