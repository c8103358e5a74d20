#include "Patches/DesignerShell/ComponentDesignerFix.h"

#include "Framework/HostFinally.h"
#include "Framework/LibraryEntry.h"
#include "Patches/DesignerShell/DesignerShellHost.h"
#include "Patches/DesignerShell/DesignerShellPatterns.h"

namespace Quillmend {

using namespace DesignerShellHost;

TWriteRootStream OrgWriteRootStream = nullptr;
int32_t RootStreamFieldOffset = 0;

// A field offset inside an object of plausible size, aligned as the host's
// compiler aligns pointer fields.
constexpr uint32_t MaxFieldOffset = 0x10000;

void QM_REGISTER WriteRootStreamWrapper(void* root, void* stream, uint32_t third) {
  void** field = reinterpret_cast<void**>(static_cast<char*>(root) + RootStreamFieldOffset);
  if (!stream || *field != stream) {
    OrgWriteRootStream(root, stream, third);
    return;
  }
  *field = nullptr;
  HostTryFinally([&] { OrgWriteRootStream(root, stream, third); }, [&]() noexcept { *field = stream; });
}

TPatchPlan ComponentDesignerRootStreamPlan() {
  namespace P = DesignerShellPatterns;
  TPatchPlan plan(L"VCL.ComponentDesignerRootStream", L"TComponentDesigner.GetRootStream fix");
  TSiteRef getRootStream = plan.Export(L"TComponentRoot.GetRootStream", DesignIde, Export::GetRootStream);
  TSiteRef site = plan.PatternFrom(L"GetRootStream", getRootStream, 0, P::RootStreamWrite, P::RootStreamWindow);
  TCaptureRef field = plan.Operand(site, P::RootStreamField);
  TCaptureRef write = plan.CallTarget(site, P::RootStreamWriteCall);
  plan.Expect(L"GetRootStream +0x07: no field offset", [=](const TPlanValues& v) {
    const uintptr_t offset = v.Value(field);
    return offset >= 4 && offset < MaxFieldOffset && offset % 4 == 0;
  });
  plan.RetargetCall(site, P::RootStreamWriteCall, &WriteRootStreamWrapper);
  plan.OnCommit([=](const TPlanValues& v) {
    RootStreamFieldOffset = int32_t(v.Value(field));
    OrgWriteRootStream = v.Get<TWriteRootStream>(write);
  });
  return plan;
}

void InstallComponentDesignerFix() {
  TPatchPlan plan = ComponentDesignerRootStreamPlan();
  InstallPlan(plan);
}

namespace {

void InitializeComponentDesignerFix() { AddWizardInitProc(&InstallComponentDesignerFix); }

std::vector<TPatchPlan> ComponentDesignerFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(ComponentDesignerRootStreamPlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_ComponentDesignerFix = {"ComponentDesignerFix", &InitializeComponentDesignerFix, nullptr,
                                             &ComponentDesignerFixPlans};

} // namespace Quillmend
