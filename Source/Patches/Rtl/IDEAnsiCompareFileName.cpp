#include "Patches/Rtl/IDEAnsiCompareFileName.h"

#include "Hooking/TextCompare.h"
#include "Patches/Rtl/RtlHostCalls.h"

namespace Quillmend {

TOrdinalCompare OrdinalCompareProc = nullptr;

namespace {

const char* const AnsiCompareFileNameExport = "@Sysutils@AnsiCompareFileName$qqrx20System@UnicodeStringt1";
const char* const SameFileNameExport = "@Sysutils@SameFileName$qqrx20System@UnicodeStringt1";

int32_t HostLength(const wchar_t* s) { return HostStringLength(s); }
const wchar_t* Text(const wchar_t* s) { return s ? s : L""; }

int NulTerminatedLength(const wchar_t* s) {
  int n = 0;
  while (s[n]) ++n;
  return n;
}

}  // namespace

int WINAPI CompareStringOrdinalEmulation(const wchar_t* s1, int length1, const wchar_t* s2, int length2,
                                         BOOL ignoreCase) {
  if (!s1 || !s2 || (ignoreCase != 0 && ignoreCase != 1)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (length1 < 0) length1 = NulTerminatedLength(s1);
  if (length2 < 0) length2 = NulTerminatedLength(s2);
  const int32_t difference =
      s1 == s2 ? length1 - length2 : CompareUnicodeText(s1, length1, s2, ignoreCase != 0, length2);
  return difference == 0 ? CSTR_EQUAL : difference < 0 ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
}

void ResolveOrdinalCompare() {
  if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll"))
    if (FARPROC proc = GetProcAddress(kernel, "CompareStringOrdinal")) {
      OrdinalCompareProc = reinterpret_cast<TOrdinalCompare>(reinterpret_cast<void*>(proc));
      return;
    }
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  OrdinalCompareProc =
      ntdll && GetProcAddress(ntdll, "RtlCompareUnicodeString") ? &CompareStringOrdinalEmulation : nullptr;
}

int32_t QM_REGISTER AnsiCompareFileNameFast(const wchar_t* s1, const wchar_t* s2) {
  return OrdinalCompareProc(Text(s1), HostLength(s1), Text(s2), HostLength(s2), TRUE) - CSTR_EQUAL;
}

uint8_t QM_REGISTER SameFileNameFast(const wchar_t* s1, const wchar_t* s2) {
  // Ordinal case folding maps one character to one: different lengths never match.
  const int32_t length = HostLength(s1);
  if (length != HostLength(s2)) return 0;
  return OrdinalCompareProc(Text(s1), length, Text(s2), length, TRUE) == CSTR_EQUAL;
}

TPatchPlan AnsiCompareFileNamePlan() {
  TPatchPlan plan(L"RTL.AnsiCompareFileName", L"AnsiCompareFileName function optimized for the IDE",
                  TInstallMoment::UnitInit);
  // Without any ordinal comparison the host keeps its own functions.
  if (!OrdinalCompareProc) return plan;
  TSiteRef compare = plan.Export(L"AnsiCompareFileName", RtlModule, AnsiCompareFileNameExport);
  TSiteRef same = plan.Export(L"SameFileName", RtlModule, SameFileNameExport);
  plan.Redirect(compare, &AnsiCompareFileNameFast);
  plan.Redirect(same, &SameFileNameFast);
  return plan;
}

std::vector<TPatchPlan> IDEAnsiCompareFileNamePlans() {
  ResolveOrdinalCompare();
  std::vector<TPatchPlan> plans;
  plans.push_back(AnsiCompareFileNamePlan());
  return plans;
}

void InstallIDEAnsiCompareFileName() {
  ResolveOrdinalCompare();
  TPatchPlan plan = AnsiCompareFileNamePlan();
  InstallPlan(plan);
}

const TUnitInfo Unit_IDEAnsiCompareFileName = {"IDEAnsiCompareFileName", &InstallIDEAnsiCompareFileName, nullptr,
                                               &IDEAnsiCompareFileNamePlans};

}  // namespace Quillmend
