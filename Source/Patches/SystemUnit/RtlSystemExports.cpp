#include "Patches/SystemUnit/RtlSystemExports.h"

namespace Quillmend {

TStringSites AddStringSites(TPatchPlan& plan) {
  TStringSites sites;
  sites.New = plan.Export(L"NewUnicodeString", RtlPackage, HostStringExport::NewUnicodeString);
  sites.Asg = plan.Export(L"UStrAsg", RtlPackage, HostStringExport::UStrAsg);
  sites.Clr = plan.Export(L"UStrClr", RtlPackage, HostStringExport::UStrClr);
  return sites;
}

THostStrings StringsAt(const TPlanValues& values, const TStringSites& sites) {
  THostStrings strings;
  strings.NewUnicodeString = reinterpret_cast<decltype(strings.NewUnicodeString)>(values.Site(sites.New));
  strings.UStrAsg = reinterpret_cast<decltype(strings.UStrAsg)>(values.Site(sites.Asg));
  strings.UStrClr = reinterpret_cast<decltype(strings.UStrClr)>(values.Site(sites.Clr));
  return strings;
}

}  // namespace Quillmend
