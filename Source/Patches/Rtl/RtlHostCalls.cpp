#include "Patches/Rtl/RtlHostCalls.h"

namespace Quillmend {

const wchar_t* const RtlModule = L"rtl150.bpl";
const wchar_t* const CoreIdeModule = L"coreide150.bpl";

THostStringSites AddHostStringSites(TPatchPlan& plan) {
  THostStringSites sites;
  sites.New = plan.Export(L"NewUnicodeString", RtlModule, HostStringExport::NewUnicodeString);
  sites.Asg = plan.Export(L"UStrAsg", RtlModule, HostStringExport::UStrAsg);
  sites.Clr = plan.Export(L"UStrClr", RtlModule, HostStringExport::UStrClr);
  sites.Realloc = plan.Export(L"ReallocMem", RtlModule, HostStringExport::ReallocMem);
  return sites;
}

THostStrings HostStringsAt(const TPlanValues& values, const THostStringSites& sites) {
  THostStrings strings;
  strings.NewUnicodeString = reinterpret_cast<decltype(strings.NewUnicodeString)>(values.Site(sites.New));
  strings.UStrAsg = reinterpret_cast<decltype(strings.UStrAsg)>(values.Site(sites.Asg));
  strings.UStrClr = reinterpret_cast<decltype(strings.UStrClr)>(values.Site(sites.Clr));
  strings.ReallocMem = reinterpret_cast<decltype(strings.ReallocMem)>(values.Site(sites.Realloc));
  return strings;
}

}  // namespace Quillmend
