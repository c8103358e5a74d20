#include "Patches/DesignerShell/PageControlTabSheetCompDropFix.h"

#include "Framework/HostExcept.h"
#include "Framework/HostFinally.h"
#include "Framework/HostObjectModel.h"
#include "Framework/LibraryEntry.h"
#include "Patches/DesignerShell/DesignerShellHost.h"
#include "Patches/DesignerShell/DesignerShellPatterns.h"

namespace Quillmend {

using namespace DesignerShellHost;

TDeleteSelection OrgDeleteSelection = nullptr;
TSelectComponent OrgSelectAfterDelete = nullptr;

namespace {

// The designer's item interface and its selection list (register
// convention after IUnknown's three methods).
namespace ItemMethod {
constexpr int GetComponent = 3;  // function: TComponent
constexpr int GetParent = 11;    // function: IItem (result variable in EDX)
constexpr int IsContainer = 12;  // function: Boolean
}  // namespace ItemMethod
namespace SelectionMethod {
constexpr int Count = 3;  // function: Integer
constexpr int Get = 4;    // function(Index): IItem (result variable in ECX)
}  // namespace SelectionMethod
constexpr int HolderSelectionList = 12;
// The windowed control's byte that is zero while it is not shown.
constexpr int WinControlShowing = 0x1EA;

using TItemComponent = void*(QM_REGISTER*)(void* item);
using TItemParent = void(QM_REGISTER*)(void* item, void** result);
using TItemBoolean = uint8_t(QM_REGISTER*)(void* item);
using TListCount = int32_t(QM_REGISTER*)(void* list);
using TListGet = void(QM_REGISTER*)(void* list, int32_t index, void** result);
using TIsRootSelected = uint8_t(QM_REGISTER*)(void* root);

const void* g_controlClass = nullptr;
const void* g_winControlClass = nullptr;
TIsRootSelected g_isRootSelected = nullptr;
int32_t g_holderOffset = 0;
// The parent to select after the deletion under way (the designer runs on the main thread only).
void* g_rememberedParent = nullptr;

bool IsA(const void* object, const void* classRef) {
  return object && classRef && HostClassInherits(HostClassOf(object), classRef);
}

void* ComponentOf(void* item) {
  return item ? HostIntfMethod<TItemComponent>(item, ItemMethod::GetComponent)(item) : nullptr;
}

} // namespace

uint32_t QM_REGISTER ItemParentContainerTest(void* item) {
  const uint8_t container = HostIntfMethod<TItemBoolean>(item, ItemMethod::IsContainer)(item);
  if (!container) return 0;
  const void* component = ComponentOf(item);
  if (IsA(component, g_winControlClass) && static_cast<const uint8_t*>(component)[WinControlShowing] == 0) return 0;
  return container;
}

void* ParentOfFirstSelectedControl(void* list) {
  const int32_t count = HostIntfMethod<TListCount>(list, SelectionMethod::Count)(list);
  for (int32_t i = 0; i < count; ++i) {
    void* item = nullptr;
    HostIntfMethod<TListGet>(list, SelectionMethod::Get)(list, i, &item);
    if (!item) continue;
    void* parentComponent = nullptr;
    if (IsA(ComponentOf(item), g_controlClass)) {
      void* parent = nullptr;
      HostIntfMethod<TItemParent>(item, ItemMethod::GetParent)(item, &parent);
      void* component = ComponentOf(parent);
      if (IsA(component, g_winControlClass)) parentComponent = component;
      HostIntfRelease(parent);
    }
    HostIntfRelease(item);
    if (parentComponent) return parentComponent;
  }
  return nullptr;
}

void QM_REGISTER DeleteSelectionReplacement(void* root, uint32_t flag) {
  g_rememberedParent = nullptr;
  void* holder = *reinterpret_cast<void**>(static_cast<char*>(root) + g_holderOffset);
  if (holder) {
    // A host exception while the selection is read costs only the remembered parent.
    THostCaught caught;
    const bool done = HostTryExceptOnly(HostExceptionCode, [&] {
      if (g_isRootSelected(root) & 0xFF) return;
      void* list = *reinterpret_cast<void**>(static_cast<char*>(holder) + HolderSelectionList);
      if (list) g_rememberedParent = ParentOfFirstSelectedControl(list);
    }, caught);
    if (!done) {
      g_rememberedParent = nullptr;
      FreeHostObject(caught.Object);
    }
  }
  HostTryFinally([&] { OrgDeleteSelection(root, flag); }, [&]() noexcept { g_rememberedParent = nullptr; });
}

void QM_REGISTER SelectAfterDeleteWrapper(void* root, void* component, uint32_t third) {
  if (component && g_rememberedParent) component = g_rememberedParent;
  OrgSelectAfterDelete(root, component, third);
}

TPatchPlan FindItemParentPlan() {
  namespace P = DesignerShellPatterns;
  TPatchPlan plan(L"IDE.Designer.FindItemParent", L"FindItemParent returns wrong TabSheet");
  TSiteRef findItemParent = plan.Export(L"TComponentRoot.FindItemParent", DesignIde, Export::FindItemParent);
  TSiteRef test = plan.PatternFrom(L"FindItemParent", findItemParent, 0, P::ItemParentContainerTest, P::ItemParentWindow);
  TSiteRef deleteSelection = plan.Export(L"TComponentRoot.DeleteSelection", DesignIde, Export::DeleteSelection);
  TSiteRef select =
      plan.PatternFrom(L"DeleteSelection", deleteSelection, 0, P::DeleteSelectionSelect, P::DeleteSelectionWindow);
  TSiteRef isRootSelected = plan.Export(L"TComponentRoot.IsRootSelected", DesignIde, Export::IsRootSelected);
  TSiteRef holder =
      plan.PatternFrom(L"IsRootSelected", isRootSelected, 0, P::RootSelectionHolder, P::RootSelectionWindow);
  TSiteRef control = plan.Export(L"TControl", Vcl, Export::ControlClass);
  TSiteRef winControl = plan.Export(L"TWinControl", Vcl, Export::WinControlClass);
  TCaptureRef holderOffset =
      plan.Compute([=](const TPlanValues& v) { return uintptr_t(*v.At(holder, P::RootSelectionHolderOffset)); });
  TCaptureRef orgSelect = plan.CallTarget(select, P::DeleteSelectionSelectCall);
  plan.Expect(L"IsRootSelected +0x02: no holder offset", [=](const TPlanValues& v) {
    const uintptr_t offset = v.Value(holderOffset);
    return offset >= 4 && offset % 4 == 0;
  });
  plan.WriteCall(test, P::ItemParentTestCall, &ItemParentContainerTest);
  plan.RetargetCall(select, P::DeleteSelectionSelectCall, &SelectAfterDeleteWrapper);
  plan.RedirectOrgCall(deleteSelection, &DeleteSelectionReplacement, reinterpret_cast<void**>(&OrgDeleteSelection));
  plan.OnCommit([=](const TPlanValues& v) {
    g_holderOffset = int32_t(v.Value(holderOffset));
    g_isRootSelected = reinterpret_cast<TIsRootSelected>(v.Site(isRootSelected));
    g_controlClass = v.Site(control);
    g_winControlClass = v.Site(winControl);
    OrgSelectAfterDelete = v.Get<TSelectComponent>(orgSelect);
  });
  return plan;
}

void InstallPageControlTabSheetCompDropFix() {
  TPatchPlan plan = FindItemParentPlan();
  InstallPlan(plan);
}

namespace {

void InitializePageControlTabSheetCompDropFix() { AddWizardInitProc(&InstallPageControlTabSheetCompDropFix); }

std::vector<TPatchPlan> PageControlTabSheetCompDropFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(FindItemParentPlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_PageControlTabSheetCompDropFix = {"PageControlTabSheetCompDropFix",
                                                       &InitializePageControlTabSheetCompDropFix, nullptr,
                                                       &PageControlTabSheetCompDropFixPlans};

} // namespace Quillmend
