#include "Patches/Compiler/WarnLoadResStringPatch.h"

#include "Framework/IDEHooks.h"
#include "Framework/LibraryEntry.h"

namespace Quillmend {

namespace {

using THostWarn = int32_t(QM_REGISTER*)(const void* argument);
using THostLoadResString = const char*(QM_REGISTER*)(uint32_t id, char* buffer);

const volatile uint8_t* g_flags = nullptr;
const volatile uint32_t* g_switch = nullptr;
const volatile uint8_t* g_table = nullptr;
void* g_orgWarn46 = nullptr;
void* g_orgWarn47 = nullptr;
THostLoadResString g_hostLoad = nullptr;

// The compiler's routine fills at most 256 bytes; the room is generous.
char g_text[1024];
const char* g_cached = nullptr;
uint32_t g_cachedId = 0;

constexpr uint8_t WarningsOn = 0x40;

} // namespace

bool WarningShown(int32_t number) {
  return (*g_flags & WarningsOn) && *g_switch == 0 && g_table[uint8_t(number)] != 0;
}

int32_t QM_REGISTER GuardedWarn46(const void* argument) {
  return WarningShown(46) ? reinterpret_cast<THostWarn>(g_orgWarn46)(argument) : 0;
}

int32_t QM_REGISTER GuardedWarn47(const void* argument) {
  return WarningShown(47) ? reinterpret_cast<THostWarn>(g_orgWarn47)(argument) : 0;
}

const char* QM_REGISTER CachedLoadResString(uint32_t id, char* /*buffer*/) {
  if (g_cached && id == g_cachedId) return g_cached;
  g_cached = nullptr;
  const char* text = g_hostLoad(id, g_text);
  g_cachedId = id;
  g_cached = text;
  return text;
}

namespace {

const wchar_t* const Dcc = L"dcc150.dll";
namespace Patterns = WarnLoadResStringPatterns;

TPatchPlan WarnPlan() {
  TPatchPlan plan(L"Compiler.WarnLoadResString", L"Compiler loads ResString for warnings it doesn't show");
  plan.LoadedModule(Dcc, &GetDccHandle);
  TSiteRef filter = plan.Pattern(L"WarningFilter", Dcc, Patterns::Filter, 0);
  TSiteRef warn46 = plan.Pattern(L"Warn46", Dcc, Patterns::Warn46, 0);
  TSiteRef warn47 = plan.Pattern(L"Warn47", Dcc, Patterns::Warn47, 0);
  TSiteRef list = plan.Pattern(L"MessageList", Dcc, Patterns::MessageList, 0);
  plan.ExpectU8(warn46, Patterns::Warn46Number, 46);
  plan.ExpectU8(warn47, Patterns::Warn47Number, 47);
  TCaptureRef flags = plan.Operand(filter, Patterns::FilterFlags);
  TCaptureRef onSwitch = plan.Operand(filter, Patterns::FilterSwitch);
  TCaptureRef table = plan.Operand(filter, Patterns::FilterTable);
  TCaptureRef load = plan.CallTarget(list, Patterns::MessageListLoad);
  plan.RedirectOrgCall(warn46, &GuardedWarn46, &g_orgWarn46);
  plan.RedirectOrgCall(warn47, &GuardedWarn47, &g_orgWarn47);
  plan.RetargetCall(list, Patterns::MessageListLoad, &CachedLoadResString);
  plan.OnCommit([=](const TPlanValues& v) {
    g_flags = v.Get<const volatile uint8_t*>(flags);
    g_switch = v.Get<const volatile uint32_t*>(onSwitch);
    g_table = v.Get<const volatile uint8_t*>(table);
    g_hostLoad = v.Get<THostLoadResString>(load);
    g_cached = nullptr;
  });
  return plan;
}

void InitializeWarnLoadResStringPatch() { AddWizardInitProc(&InstallWarnLoadResStringPatch); }

} // namespace

std::vector<TPatchPlan> WarnLoadResStringPatchPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(WarnPlan());
  return plans;
}

void InstallWarnLoadResStringPatch() {
  TPatchPlan plan = WarnPlan();
  InstallPlan(plan);
}

const TUnitInfo Unit_WarnLoadResStringPatch = {"WarnLoadResStringPatch", &InitializeWarnLoadResStringPatch, nullptr,
                                               &WarnLoadResStringPatchPlans};

} // namespace Quillmend
