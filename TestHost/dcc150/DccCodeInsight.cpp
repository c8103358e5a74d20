// The stand-in compiler's CodeInsight side in C++: what the routines of
// DccCodeInsight.S call (compile preparation, the give-up, the error
// report's list, the token stream, unit finalization) and the CodeInsight
// driver (DccCodeInsightDriver.h).
#include "DccCodeInsight.h"
#include "DccCodeInsightDriver.h"

#include <string>
#include <type_traits>
#include <vector>
#include <windows.h>

using namespace Dcc;

#define DCC_EXPORT extern "C"

namespace {

constexpr size_t ReportCapacity = 100000;

struct TReported {
  int Number;
  std::string Text;
};
std::vector<TReported> g_reported;
std::vector<TToken> g_tokens;
size_t g_tokenIndex = 0;
DccCodeInsightDriver::Counters g_counters{};
bool g_gaveUp = false;  // this compile gave up
uint32_t g_request[3] = {0x10, 0x20, 0};

void (__stdcall* g_aliasHook)(void*) = nullptr;
void* g_aliasHookData = nullptr;

void SetCurrentToken() {
  DccCurrentToken = g_tokenIndex < g_tokens.size() ? g_tokens[g_tokenIndex] : TToken{tkEndOfSource, 0};
  DccTokenPosition = 100 + uint32_t(g_tokenIndex) * 4;
  DccLineStart = 100 + uint32_t(g_tokenIndex / 8) * 32;
}

} // namespace

void Dcc::RunAliasHook() {
  auto hook = g_aliasHook;
  if (!hook) return;
  g_aliasHook = nullptr;
  hook(g_aliasHookData);
}

extern "C" {

void QM_HOST_REGISTER HostPrepareCompile(uint32_t, uint32_t, uint32_t thread, int, int) {
  g_request[2] = thread;
  DccErrorCount = 0;
  g_gaveUp = false;
}

void __cdecl HostFatalError(const char*) {
  g_gaveUp = true;
  ++g_counters.GaveUp;
}

void QM_HOST_REGISTER HostReportError(int, int, int number, const char* const* args) {
  DccReportRejected = g_reported.size() >= ReportCapacity;
  if (!DccReportRejected) g_reported.push_back({number, args && *args ? *args : ""});
}

uint32_t QM_HOST_REGISTER HostSkipRefused() { return 0; }

uint32_t QM_HOST_REGISTER HostTokenMark() { return uint32_t(g_tokenIndex); }

void QM_HOST_REGISTER HostBodyEndFound() {}

void QM_HOST_REGISTER HostReportBodyEnd(uint32_t, uint32_t, uint32_t) { ++g_counters.BodyEndsReported; }

void QM_HOST_REGISTER HostNextToken() {
  if (g_tokenIndex < g_tokens.size()) ++g_tokenIndex;
  SetCurrentToken();
}

void QM_HOST_REGISTER HostFinalizeUnit(TUnit*) { ++g_counters.Finalizations; }

void QM_HOST_REGISTER HostUnitDone() {}

void QM_HOST_REGISTER HostAfterUnit(void*, int) {}

} // extern "C"

// ---- the CodeInsight driver ---------------------------------------------------------------

DCC_EXPORT void __stdcall DccKibitzBegin() { DccStartKibitzCompile(g_request); }

DCC_EXPORT void __stdcall DccKibitzEnd() {
  DccKibitzMode = 0;
  DccKibitzActive = 0;
}

DCC_EXPORT void __stdcall DccCompileBegin() {
  DccErrorCount = 0;
  g_gaveUp = false;
}

DCC_EXPORT int __stdcall DccReportErrors(int count) {
  const uint32_t before = DccErrorsShown;
  for (int i = 0; i < count && !g_gaveUp; ++i) {
    std::string text = "Undeclared identifier: 'Item" + std::to_string(i) + "'";
    DccReportError(2003, text.c_str());
  }
  g_counters.ErrorsShown = DccErrorsShown;
  return int(DccErrorsShown - before);
}

// The check's routine takes its "has a body" flag in al.
extern "C" void __stdcall DccCheckBody(int kind, const char* text) asm("_DccCheckBody");
namespace {
void CheckOneBody(int kind, const char* text) {
  asm volatile("pushl %[text]\n\t"
               "pushl %[kind]\n\t"
               "movb $1, %%al\n\t"
               "call _DccCheckBody"
               :
               : [kind] "r"(kind), [text] "r"(text)
               : "eax", "ecx", "edx", "memory", "cc");
}
} // namespace

DCC_EXPORT int __stdcall DccCheckBodies(int count, int kind) {
  const uint32_t before = DccErrorsShown;
  for (int i = 0; i < count && !g_gaveUp; ++i) CheckOneBody(kind, "Missing operator or semicolon");
  g_counters.ErrorsShown = DccErrorsShown;
  return int(DccErrorsShown - before);
}

DCC_EXPORT int __stdcall DccFinishCompile() {
  const uint32_t before = g_counters.Finalizations;
  DccFinishUnits(g_request, 1);
  return int(g_counters.Finalizations - before);
}

DCC_EXPORT void __stdcall DccSetTokens(const uint8_t* codes, const int32_t* values, int count) {
  g_tokens.clear();
  for (int i = 0; i < count; ++i) g_tokens.push_back({codes[i], values ? values[i] : 0});
  g_tokenIndex = 0;
  DccBufferBase = 7;
  SetCurrentToken();
}

DCC_EXPORT int __stdcall DccRunSkipBody(int* endIndex) {
  int found = int(DccSkipBody());
  if (endIndex) *endIndex = int(g_tokenIndex);
  return found;
}

DCC_EXPORT void __stdcall DccCodeInsightCounters(DccCodeInsightDriver::Counters* counters) {
  g_counters.ErrorsShown = DccErrorsShown;
  *counters = g_counters;
}

DCC_EXPORT void __stdcall DccResetCodeInsightCounters() {
  g_counters = {};
  g_reported.clear();
  DccErrorsShown = 0;
  DccErrorCount = 0;
  DccReportRejected = 0;
  g_gaveUp = false;
}

DCC_EXPORT int __stdcall DccSetUnitFlags(int every, int flags) {
  int count = 0;
  for (TUnit* unit = DccUnitListHead; unit; unit = unit->Next) {
    if (every <= 0 || unit->Serial % uint32_t(every) != 0) continue;
    unit->Flags = uint16_t(flags);
    ++count;
  }
  return count;
}

DCC_EXPORT void __stdcall DccArmAliasHook(void(__stdcall* hook)(void*), void* data) {
  g_aliasHookData = data;
  g_aliasHook = hook;
}

// ---- the definitions agree with the driver header -----------------------------------------

namespace {

using Declared = DccCodeInsightDriver::Driver;

template <class Defined, class InHeader>
constexpr bool Agrees(Defined, InHeader) {
  return std::is_same_v<Defined, InHeader>;
}

static_assert(Agrees(&DccKibitzBegin, Declared::KibitzBeginFn()) && Agrees(&DccKibitzEnd, Declared::KibitzEndFn()) &&
                  Agrees(&DccCompileBegin, Declared::CompileBeginFn()) &&
                  Agrees(&DccReportErrors, Declared::ReportErrorsFn()) &&
                  Agrees(&DccCheckBodies, Declared::CheckBodiesFn()) &&
                  Agrees(&DccFinishCompile, Declared::FinishCompileFn()) &&
                  Agrees(&DccSetTokens, Declared::SetTokensFn()) && Agrees(&DccRunSkipBody, Declared::RunSkipBodyFn()) &&
                  Agrees(&DccCodeInsightCounters, Declared::CountersFn()) &&
                  Agrees(&DccResetCodeInsightCounters, Declared::ResetCountersFn()) &&
                  Agrees(&DccSetUnitFlags, Declared::SetUnitFlagsFn()) &&
                  Agrees(&DccArmAliasHook, Declared::ArmAliasHookFn()),
              "CodeInsight driver exports differ from DccCodeInsightDriver.h");

} // namespace
