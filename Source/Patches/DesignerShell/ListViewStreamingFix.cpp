#include "Patches/DesignerShell/ListViewStreamingFix.h"

#include <cstring>

#include "Patches/DesignerShell/DesignerShellHost.h"
#include "Patches/DesignerShell/DesignerShellPatterns.h"

namespace Quillmend {

using namespace DesignerShellHost;

int32_t QM_REGISTER ReadOrZero(void* stream, void* buffer, int32_t count) {
  if (count <= 0) return 0;
  const int32_t read = HostStreamRead(stream, buffer, count);
  if (read < count) std::memset(buffer, 0, size_t(count));
  return read;
}

TPatchPlan ListViewStreamingPlan() {
  namespace P = DesignerShellPatterns;
  TPatchPlan plan(L"VCL.ListViewStreaming", L"TListView.ReadItemData EReadError fix", TInstallMoment::UnitInit);
  TSiteRef define =
      plan.Export(L"TListItems.DefineProperties", Vcl, Export::ListItemsDefineProperties);
  TSiteRef read = plan.PatternFrom(L"ListItemsReadItemData", define, 0, P::ListItemsReadByte, P::ListItemsWindow);
  plan.RetargetCall(read, P::ListItemsReadCall, &ReadOrZero);
  return plan;
}

void InstallListViewStreamingFix() {
  TPatchPlan plan = ListViewStreamingPlan();
  InstallPlan(plan);
}

namespace {

std::vector<TPatchPlan> ListViewStreamingFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(ListViewStreamingPlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_ListViewStreamingFix = {"ListViewStreamingFix", &InstallListViewStreamingFix, nullptr,
                                             &ListViewStreamingFixPlans};

} // namespace Quillmend
