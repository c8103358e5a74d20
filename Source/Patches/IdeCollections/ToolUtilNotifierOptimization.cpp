#include "Patches/IdeCollections/ToolUtilNotifierOptimization.h"

#include "Framework/HostFinally.h"
#include "Framework/HostObjectModel.h"
#include "Framework/LibraryEntry.h"
#include "Patches/IdeCollections/IdeModules.h"

namespace Quillmend {

namespace {

using TListProc = void(QM_REGISTER*)(void* list);
using TListItem = int32_t(QM_REGISTER*)(void* list, void* item);
using TListPut = void(QM_REGISTER*)(void* list, int32_t index, void* item);

// AddToList(List: IInterfaceList; Item: IInterface): under the list's lock,
// the first nil slot takes the item (Put), or the item is added; the lock
// is given back and the item's reference dropped also when a host exception
// passes.
int32_t QM_REGISTER AddToListReplacement(void* list, void* item) {
  namespace S = HostIInterfaceList;
  int32_t result = -1;
  HostIntfAddRef(item);
  HostIntfMethod<TListProc>(list, S::Lock)(list);
  struct TState {
    void* List;
    void* Item;
    int32_t* Result;
  } state{list, item, &result};
  HostTryFinally(
      [](void* data) {
        auto* s = static_cast<TState*>(data);
        int32_t slot = HostIntfMethod<TListItem>(s->List, S::IndexOf)(s->List, nullptr);
        if (slot == -1) {
          *s->Result = HostIntfMethod<TListItem>(s->List, S::Add)(s->List, s->Item);
        } else {
          HostIntfMethod<TListPut>(s->List, S::Put)(s->List, slot, s->Item);
          *s->Result = slot;
        }
      },
      &state,
      [](void* data) {
        auto* s = static_cast<TState*>(data);
        HostIntfMethod<TListProc>(s->List, S::Unlock)(s->List);
        HostIntfRelease(s->Item);
      });
  return result;
}

TPatchPlan AddToListPlan() {
  TPatchPlan plan(L"IDE.AddToList", L"Optimized AddToList (AddNotifier) function", TInstallMoment::WizardInit);
  TSiteRef addToList = plan.Export(L"AddToList", IdeExports::DesignIde,
                                   "@Toolutils@AddToList$qqrx50System@%DelphiInterface$t22Classes@IInterfaceList%45"
                                   "System@%DelphiInterface$t17System@IInterface%");
  plan.Redirect(addToList, &AddToListReplacement);
  return plan;
}

void InitializeToolUtilNotifierOptimization() { AddWizardInitProc(&InstallToolUtilNotifierOptimization); }

}  // namespace

std::vector<TPatchPlan> ToolUtilNotifierPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(AddToListPlan());
  return plans;
}

void InstallToolUtilNotifierOptimization() {
  TPatchPlan plan = AddToListPlan();
  InstallPlan(plan);
}

const TUnitInfo Unit_ToolUtilNotifierOptimization = {"ToolUtilNotifierOptimization",
                                                     &InitializeToolUtilNotifierOptimization, nullptr,
                                                     &ToolUtilNotifierPlans};

}  // namespace Quillmend
