#include "Patches/EditorParser/ClassComplOperatorOverloadFix.h"

#include "Framework/LibraryEntry.h"
#include "Patches/EditorParser/EditorParserHost.h"
#include "Patches/EditorParser/EditorParserPatterns.h"

extern "C" void QmIsReservedAdapterB() asm("QmIsReservedAdapterB");
extern "C" void QmIsReservedAdapterC() asm("QmIsReservedAdapterC");

namespace Quillmend {

using namespace EditorParserHost;

TClassify OrgClassify = nullptr;
TIsReserved OrgIsReserved = nullptr;

namespace {

bool IsIn(const char* text) {
  return text && (text[0] == 'I' || text[0] == 'i') && (text[1] == 'N' || text[1] == 'n') && text[2] == 0;
}

} // namespace

uint32_t QM_REGISTER ClassifyReplacement(uint32_t tokenKind, const char* text) {
  const uint32_t result = OrgClassify(text);
  if ((tokenKind & 0xFF) == TokenKindOperator && (result & 0xFF) == ClassReservedIn)
    return (result & ~0xFFu) | ClassIdentifier;
  return result;
}

uint32_t QM_REGISTER IsReservedReplacement(const char* text, const uint8_t* symbol) {
  if (symbol && (symbol[0] & SymbolKindMask) == SymbolKindOperator && IsIn(text)) return 0;
  return OrgIsReserved(text);
}

TPatchPlan ClassOperatorInPlan() {
  namespace P = EditorParserPatterns;
  TPatchPlan plan(L"IDE.ClassCompletion.ClassOperatorIn", L"ClassCompletion fix for class operator In");
  TSiteRef parse = plan.Export(L"TPascalClassManager.ParseMethodOrAlias", DelphiCoreIde, Export::ParseMethodOrAlias);
  TSiteRef a = plan.PatternFrom(L"ClassCompletionA", parse, 0, P::ClassCompletionA, P::ClassCompletionAWindow);
  TSiteRef byPosition =
      plan.Export(L"TPascalClassCompleter.ClassSymbolByPosition", DelphiCoreIde, Export::ClassSymbolByPosition);
  TSiteRef b = plan.PatternFrom(L"ClassCompletionB", byPosition, 0, P::ClassCompletionB, P::ClassCompletionBWindow);
  TSiteRef c = plan.PatternFrom(L"ClassCompletionC", b, 0, P::ClassCompletionC, P::ClassCompletionCWindow);
  TCaptureRef classify = plan.CallTarget(a, P::ClassCompletionAClassify);
  TSiteRef isReserved = plan.CallTargetOf(L"IsReserved (ClassCompletionC +0x03)", c, P::ClassCompletionReservedCall);
  // B's callers get C's replacement: B must call the same routine.
  plan.ExpectCallTo(b, P::ClassCompletionReservedCall, isReserved);
  plan.WriteBytes(a, P::ClassCompletionAMove, "89 F2");
  plan.RetargetCall(a, P::ClassCompletionAClassify, &ClassifyReplacement);
  plan.RetargetCall(c, P::ClassCompletionReservedCall, &QmIsReservedAdapterC);
  plan.RetargetCall(b, P::ClassCompletionReservedCall, &QmIsReservedAdapterB);
  plan.OnCommit([=](const TPlanValues& v) {
    OrgClassify = v.Get<TClassify>(classify);
    OrgIsReserved = reinterpret_cast<TIsReserved>(v.Site(isReserved));
  });
  return plan;
}

void InstallClassComplOperatorOverloadFix() {
  TPatchPlan plan = ClassOperatorInPlan();
  InstallPlan(plan);
}

namespace {

void InitializeClassComplOperatorOverloadFix() { AddWizardInitProc(&InstallClassComplOperatorOverloadFix); }

std::vector<TPatchPlan> ClassComplOperatorOverloadFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(ClassOperatorInPlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_ClassComplOperatorOverloadFix = {"ClassComplOperatorOverloadFix",
                                                      &InitializeClassComplOperatorOverloadFix, nullptr,
                                                      &ClassComplOperatorOverloadFixPlans};

} // namespace Quillmend
