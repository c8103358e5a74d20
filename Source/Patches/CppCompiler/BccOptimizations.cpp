#include "Patches/CppCompiler/BccOptimizations.h"

#include <cstring>
#include <vector>
#include <windows.h>

#include "Framework/HostAbi.h"
#include "Framework/LibraryEntry.h"
#include "Framework/PatchRegistry.h"
#include "Hooking/Emit.h"
#include "Patches/CppCompiler/CppCompilerPatterns.h"

namespace Quillmend {

namespace Patterns = CppCompilerPatterns;

namespace {

const wchar_t* const DoKibitzProgressName = L"bcc.DoKibitzProgress";

using TCanceled = uint8_t(QM_REGISTER*)(void* monitor);  // a Boolean in AL
TCanceled g_canceled = nullptr;

inline uint8_t UpperAscii(uint8_t c) { return c >= 'a' && c <= 'z' ? uint8_t(c - 32) : c; }

// The progress procedure's replacement (host register convention: EAX = the
// monitor): the IDE's messages are left to its own message loop.
int32_t QM_REGISTER KibitzProgressReplacement(void* monitor) { return g_canceled(monitor) ? -1 : 1; }

void InstallProc() { InstallBccOptimizations(); }

void Initialize() { AddCppCompilerInitProc(&InstallProc); }

}  // namespace

int32_t __cdecl StricmpReplacement(const char* a, const char* b) {
  if (a == b) return 0;
  const auto* p = reinterpret_cast<const uint8_t*>(a);
  const auto* q = reinterpret_cast<const uint8_t*>(b);
  for (;; ++p, ++q) {
    const uint8_t c = *p, d = *q;
    if (c == d) {
      if (c == 0) return 0;
      continue;
    }
    const uint8_t cu = UpperAscii(c), du = UpperAscii(d);
    if (cu != du) return cu < du ? -1 : 1;
  }
}

std::vector<uint8_t> InlineLtolowerCode(const void* table) {
  std::vector<uint8_t> code = {0x31, 0xC0, 0x88, 0xD8, 0x89, 0xC7, 0x0F, 0xB6, 0x80, 0, 0, 0, 0, 0x8B, 0xFF};
  WriteInt32(&code[9], int32_t(reinterpret_cast<uintptr_t>(table)));
  return code;
}

TPatchPlan StricmpPlan() {
  TPatchPlan plan(L"bcc.stricmp", L"Faster ASCII case insensitive string compare function",
                  TInstallMoment::CppCompilerLoad);
  TSiteRef stricmp = plan.Pattern(L"stricmp", L"comp32x.dll", Patterns::Stricmp, Patterns::ModuleSearch);
  plan.Redirect(stricmp, &StricmpReplacement);
  return plan;
}

TPatchPlan LtolowerCallsPlan() {
  TPatchPlan plan(L"bcc.ltolowerCalls", L"Inline ltolower calls", TInstallMoment::CppCompilerLoad);
  TSiteRef site =
      plan.Pattern(L"ltolower call site", L"comp32x.dll", Patterns::LtolowerCallSite, Patterns::ModuleSearch);
  TSiteRef ltolower = plan.CallTargetOf(L"ltolower", site, Patterns::LtolowerCall);
  plan.ExpectBytes(ltolower, 0, Patterns::Ltolower);
  TCaptureRef table = plan.Operand(ltolower, Patterns::LowerTable);
  plan.WriteCode(site, 0, [=](const TPlanValues& v, const uint8_t*) {
    return InlineLtolowerCode(v.Get<const void*>(table));
  });
  return plan;
}

TPatchPlan DoKibitzProgressPlan() {
  TPatchPlan plan(DoKibitzProgressName, L"Remove unnecessary PeekMessage calls from DoKibitzProgress",
                  TInstallMoment::WizardInit);
  TSiteRef variable = plan.Export(L"DoKibitzProgress", DelphiCorePackage, DoKibitzProgressExport);
  plan.Expect(L"DoKibitzProgress: the variable holds no procedure",
              [=](const TPlanValues& v) { return *reinterpret_cast<void* const*>(v.Site(variable)) != nullptr; });
  TSiteRef canceled =
      plan.Export(L"TKibitzingMonitor.Canceled", KibitzingMonitorPackage, KibitzingMonitorCanceledExport);
  plan.WritePointer(variable, 0, &KibitzProgressReplacement);
  plan.OnCommit([=](const TPlanValues& v) { g_canceled = reinterpret_cast<TCanceled>(v.Site(canceled)); });
  return plan;
}

void InstallBccOptimizations() {
  if (GetModuleHandleW(L"comp32x.dll")) {
    TPatchPlan stricmp = StricmpPlan();
    InstallPlan(stricmp);
    TPatchPlan ltolower = LtolowerCallsPlan();
    InstallPlan(ltolower);
  }
  // Registered once per process: it patches an IDE package, not the compiler.
  if (!IsPatchRegistered(DoKibitzProgressName)) {
    TPatchPlan progress = DoKibitzProgressPlan();
    InstallPlan(progress);
  }
}

namespace {

std::vector<TPatchPlan> Plans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(StricmpPlan());
  plans.push_back(LtolowerCallsPlan());
  plans.push_back(DoKibitzProgressPlan());
  return plans;
}

}  // namespace

const TUnitInfo Unit_BccOptimizations = {"BccOptimizations", Initialize, nullptr, &Plans};

}  // namespace Quillmend
