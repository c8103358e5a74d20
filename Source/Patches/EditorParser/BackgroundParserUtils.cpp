#include "Patches/EditorParser/BackgroundParserUtils.h"

#include "Framework/PatchRegistry.h"
#include "Patches/EditorParser/EditorParserHost.h"
#include "Patches/EditorParser/EditorParserPatterns.h"

namespace Quillmend {

using namespace EditorParserHost;

namespace {

void* const* g_parseThread = nullptr;  // the host's parse-thread variable
int32_t g_flagOffset = -1;

} // namespace

bool IsBackgroundParsing() {
  void* thread = g_parseThread ? *g_parseThread : nullptr;
  return thread && g_flagOffset >= 0 && static_cast<const volatile uint8_t*>(thread)[g_flagOffset] != 0;
}

int32_t BackgroundParsingFlagOffset() { return g_flagOffset; }

TPatchPlan ParsingFlagPlan() {
  namespace P = EditorParserPatterns;
  TPatchPlan plan(BackgroundParserUtilsName, L"Could not get \"Parsing: Boolean\" offset", TInstallMoment::UnitInit);
  TSiteRef variable = plan.Export(L"ParseThread", CoreIde, Export::ParseThread);
  TSiteRef parse = plan.Export(L"TParseThread.Parse", CoreIde, Export::Parse);
  TSiteRef flag = plan.PatternFrom(L"TParseThread.Parse parsing flag", parse, 0, P::ParseFlag, P::ParseFlagWindow);
  TCaptureRef offset = plan.Compute([=](const TPlanValues& v) { return uintptr_t(*v.At(flag, P::ParseFlagOffset)); });
  plan.OnCommit([=](const TPlanValues& v) {
    g_parseThread = reinterpret_cast<void* const*>(v.Site(variable));
    g_flagOffset = int32_t(v.Value(offset));
  });
  plan.OnRollback([] {
    g_parseThread = nullptr;
    g_flagOffset = -1;
  });
  return plan;
}

TPatchPlan ParsingFlagCheckPlan() {
  TPatchPlan plan = ParsingFlagPlan();
  plan.IgnoreWhen(L"a helper, listed only when the flag's offset is unknown", [](const TPlanValues&) { return true; });
  return plan;
}

TPatchPlan UserCanCancelKibitzingPlan() {
  TPatchPlan plan(L"IDE.BackgroundParserUtils.UserCanCancelKibitzing", L"", TInstallMoment::UnitInit);
  TSiteRef variable = plan.Export(L"TKibitzingMonitor.FUserCanCancelKibitzing", CoreIde, Export::UserCanCancelKibitzing);
  plan.WriteBytes(variable, 0, "01");
  return plan;
}

void InstallBackgroundParserUtils() {
  TPatchPlan flag = ParsingFlagPlan();
  const TPlanVerdict verdict = InstallUnregisteredPlan(flag);
  if (!verdict.Applies && RegisterPatch(flag.Name(), flag.Description(), false))
    SetPatchFailed(flag.Name(), verdict.Reason);
  TPatchPlan cancel = UserCanCancelKibitzingPlan();
  InstallUnregisteredPlan(cancel);
}

namespace {

void FinalizeBackgroundParserUtils() {
  g_parseThread = nullptr;
  g_flagOffset = -1;
}

std::vector<TPatchPlan> BackgroundParserUtilsPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(ParsingFlagCheckPlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_BackgroundParserUtils = {"BackgroundParserUtils", &InstallBackgroundParserUtils,
                                              &FinalizeBackgroundParserUtils, &BackgroundParserUtilsPlans};

} // namespace Quillmend
