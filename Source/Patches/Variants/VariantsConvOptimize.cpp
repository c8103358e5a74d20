#include "Patches/Variants/VariantsConvOptimize.h"

#include "Hooking/CodeRedirect.h"
#include "Patches/Variants/HostVariants.h"
#include "Patches/Variants/VariantConversions.h"

namespace Quillmend {

namespace {

const wchar_t* const Rtl = L"rtl150.bpl";

THostVariants g_host;
TVariantTexts g_texts;  // kept: strings handed out share them
bool g_textsBuilt = false;

template <class T>
void Bind(T& slot, const TPlanValues& values, TSiteRef site) {
  slot = reinterpret_cast<T>(values.Site(site));
}

TPatchPlan VariantsPlan() {
  TPatchPlan plan(L"RTL.VariantsConvOptimization", L"Variants optimizations", TInstallMoment::UnitInit);
  TSiteRef toBoolExport = plan.Export(L"_VarToBool", Rtl, VariantsExport::VarToBool);
  TSiteRef toBool = plan.Computed(L"_VarToBool", [=](const TPlanValues& v) { return GetActualAddr(v.Site(toBoolExport)); });
  plan.ExpectU8(toBool, 0, 0xE8);  // the relative call of the Boolean conversion comes first
  TSiteRef toBoolWorker = plan.CallTargetOf(L"_VarToBool's conversion", toBool, 0);
  TSiteRef toUStr = plan.Export(L"_VarToUStr", Rtl, VariantsExport::VarToUStr);
  TSiteRef toLStr = plan.Export(L"_VarToLStr", Rtl, VariantsExport::VarToLStr);
  TSiteRef toWStr = plan.Export(L"_VarToWStr", Rtl, VariantsExport::VarToWStr);
  TSiteRef fromWStr = plan.Export(L"_VarFromWStr", Rtl, VariantsExport::VarFromWStr);
  TSiteRef fromLStr = plan.Export(L"_OleVarFromLStr", Rtl, VariantsExport::OleVarFromLStr);
  TSiteRef fromUStr = plan.Export(L"_OleVarFromUStr", Rtl, VariantsExport::OleVarFromUStr);
  // What the replacements call and read.
  TSiteRef resultCheck = plan.Export(L"VarResultCheck", Rtl, VariantsExport::VarResultCheck);
  TSiteRef castError = plan.Export(L"VarCastError", Rtl, VariantsExport::VarCastError);
  TSiteRef findCustom = plan.Export(L"FindCustomVariantType", Rtl, VariantsExport::FindCustomVariantType);
  TSiteRef nullStrict = plan.Export(L"NullStrictConvert", Rtl, VariantsExport::NullStrictConvert);
  TSiteRef nullText = plan.Export(L"NullAsStringValue", Rtl, VariantsExport::NullAsStringValue);
  TSiteRef booleanRule = plan.Export(L"BooleanToStringRule", Rtl, VariantsExport::BooleanToStringRule);
  TSiteRef changeAny = plan.Export(L"ChangeAnyProc", Rtl, VariantsExport::ChangeAnyProc);
  TSiteRef clearAny = plan.Export(L"ClearAnyProc", Rtl, VariantsExport::ClearAnyProc);
  TSiteRef floatToStr = plan.Export(L"FloatToStr", Rtl, VariantsExport::FloatToStr);
  TSiteRef tryStrToBool = plan.Export(L"TryStrToBool", Rtl, VariantsExport::TryStrToBool);
  TSiteRef lstrClr = plan.Export(L"LStrClr", Rtl, VariantsExport::LStrClr);
  TSiteRef lstrAsg = plan.Export(L"LStrAsg", Rtl, VariantsExport::LStrAsg);
  TSiteRef lstrFromWide = plan.Export(L"LStrFromPWCharLen", Rtl, VariantsExport::LStrFromPWCharLen);
  TSiteRef newString = plan.Export(L"NewUnicodeString", Rtl, HostStringExport::NewUnicodeString);
  TSiteRef ustrAsg = plan.Export(L"UStrAsg", Rtl, HostStringExport::UStrAsg);
  TSiteRef ustrClr = plan.Export(L"UStrClr", Rtl, HostStringExport::UStrClr);
  plan.Redirect(toBoolWorker, &VarToBoolReplacement);
  plan.Redirect(toUStr, &VarToUStrReplacement);
  plan.Redirect(toLStr, &VarToLStrReplacement);
  plan.Redirect(toWStr, &VarToWStrReplacement);
  plan.Redirect(fromWStr, &VarFromWStrReplacement);
  plan.Redirect(fromLStr, &OleVarFromLStrReplacement);
  plan.Redirect(fromUStr, &OleVarFromUStrReplacement);
  // Publication only records: the check tool publishes without running the host's code.
  plan.OnCommit([=](const TPlanValues& v) {
    THostVariants host;
    Bind(host.Strings.NewUnicodeString, v, newString);
    Bind(host.Strings.UStrAsg, v, ustrAsg);
    Bind(host.Strings.UStrClr, v, ustrClr);
    Bind(host.VarResultCheck, v, resultCheck);
    Bind(host.VarCastError, v, castError);
    Bind(host.FindCustomVariantType, v, findCustom);
    Bind(host.FloatToStr, v, floatToStr);
    Bind(host.TryStrToBool, v, tryStrToBool);
    Bind(host.LStrClr, v, lstrClr);
    Bind(host.LStrAsg, v, lstrAsg);
    Bind(host.LStrFromPWCharLen, v, lstrFromWide);
    Bind(host.NullStrictConvert, v, nullStrict);
    Bind(host.NullAsStringValue, v, nullText);
    Bind(host.BooleanToStringRule, v, booleanRule);
    Bind(host.ChangeAnyProc, v, changeAny);
    Bind(host.ClearAnyProc, v, clearAny);
    g_host = host;
    SetVariantHost(host);
  });
  return plan;
}

}  // namespace

std::vector<TPatchPlan> VariantsConvOptimizePlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(VariantsPlan());
  return plans;
}

void InstallVariantsConvOptimize() {
  TPatchPlan plan = VariantsPlan();
  if (InstallPlan(plan)) PublishVariantTexts();
}

// Built once, right after the redirections went live (until then the
// replacements format): the texts come from the host's allocator and the
// platform's Boolean names.
void PublishVariantTexts() {
  if (!g_textsBuilt) {
    g_texts.Build(g_host.Strings);
    g_textsBuilt = true;
  }
  SetVariantTexts(&g_texts);
}

const TVariantTexts* VariantTextsBuilt() { return g_textsBuilt ? &g_texts : nullptr; }

// Finalization keeps the texts: strings handed out share them, and they
// cost a few kilobytes for the life of the process. The library's undo has
// put the seven routines back before this runs.
const TUnitInfo Unit_VariantsConvOptimize = {"VariantsConvOptimize", &InstallVariantsConvOptimize, nullptr,
                                             &VariantsConvOptimizePlans};

}  // namespace Quillmend
