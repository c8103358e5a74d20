#include "Patches/IdeCollections/MSBNodesOptimization.h"

#include "Framework/HostObjectModel.h"
#include "Patches/IdeCollections/IdeCollectionsPatterns.h"
#include "Patches/IdeCollections/IdeModules.h"

namespace Quillmend {

namespace L = HostNodeLayout;

namespace {

using TTableClear = void(QM_REGISTER*)(void* table);

void* g_itemGroupClass = nullptr;
void* g_propertyGroupClass = nullptr;
TTableClear g_tableClear = nullptr;  // TCustomHashTable.Clear

template <class T>
T& Field(void* object, int32_t offset) {
  return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

// TNode.Clear: for a group, its name index emptied and every child's parent
// link cut (last to first) before the child list frees them.
void QM_REGISTER NodeClearReplacement(void* node) {
  void* children = Field<void*>(node, L::Children);
  if (!children) return;
  void* classRef = HostClassOf(node);
  if (classRef == g_itemGroupClass || classRef == g_propertyGroupClass) {
    if (void* index = Field<void*>(node, L::NameIndex)) g_tableClear(index);
    void** items = HostListItems(children);
    for (int32_t i = HostListCount(children) - 1; i >= 0; --i)
      if (items[i]) Field<void*>(items[i], L::Parent) = nullptr;
  }
  HostListClear(children);
}

TPatchPlan CheckAndWarnPlan() {
  namespace E = IdeExports;
  TPatchPlan plan(L"IDE.CheckAndWarn", L"Removes calls to empty CheckAndWarn function", TInstallMoment::UnitInit);
  TSiteRef addItem =
      plan.Export(L"TItemGroup.AddItem", E::CoreIde, "@Msbnodes@TItemGroup@AddItem$qqrx20System@UnicodeStringt1");
  TSiteRef itemCheck =
      plan.PatternFrom(L"TItemGroup.AddItem", addItem, 0, IdeCollectionsPatterns::AddItemCheckAndWarn, 120);
  TSiteRef addProperty = plan.Export(L"TPropertyGroup.AddProperty", E::CoreIde,
                                     "@Msbnodes@TPropertyGroup@AddProperty$qqrx20System@UnicodeStringt1t1");
  TSiteRef propertyCheck = plan.PatternFrom(L"TPropertyGroup.AddProperty", addProperty, 0,
                                            IdeCollectionsPatterns::AddPropertyCheckAndWarn, 120);
  plan.WriteBytes(itemCheck, 0, "EB 42");
  plan.WriteBytes(propertyCheck, 0, "EB 72");
  return plan;
}

TPatchPlan MsbObjectsPlan() {
  namespace E = IdeExports;
  TPatchPlan plan(L"IDE.MSBObjects", L"IDE MSBuild Objects performance", TInstallMoment::UnitInit);
  TSiteRef itemGroup = FilledClassRecord(plan, L"TItemGroup class record",
                                         plan.Export(L"TItemGroup", E::CoreIde, "@Msbnodes@TItemGroup@"));
  TSiteRef propertyGroup = FilledClassRecord(plan, L"TPropertyGroup class record",
                                             plan.Export(L"TPropertyGroup", E::CoreIde, "@Msbnodes@TPropertyGroup@"));
  plan.Expect(L"TItemGroup: 52-byte instances expected", [itemGroup](const TPlanValues& v) {
    return HostInstanceSize(v.Site(itemGroup)) == L::GroupInstanceSize;
  });
  plan.Expect(L"TPropertyGroup: 52-byte instances expected", [propertyGroup](const TPlanValues& v) {
    return HostInstanceSize(v.Site(propertyGroup)) == L::GroupInstanceSize;
  });
  TSiteRef tableClear = plan.Export(L"TCustomHashTable.Clear", E::VclIde, "@Collections@TCustomHashTable@Clear$qqrv");
  TSiteRef nodeClear = plan.Export(L"TNode.Clear", E::CoreIde, "@Node@TNode@Clear$qqrv");
  plan.Redirect(nodeClear, &NodeClearReplacement);
  plan.OnCommit([=](const TPlanValues& v) {
    g_itemGroupClass = v.Site(itemGroup);
    g_propertyGroupClass = v.Site(propertyGroup);
    g_tableClear = reinterpret_cast<TTableClear>(v.Site(tableClear));
  });
  return plan;
}

}  // namespace

std::vector<TPatchPlan> MsbNodesPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(CheckAndWarnPlan());
  plans.push_back(MsbObjectsPlan());
  return plans;
}

void InstallMsbNodesOptimization() {
  for (TPatchPlan& plan : MsbNodesPlans()) InstallPlan(plan);
}

const TUnitInfo Unit_MSBNodesOptimization = {"MSBNodesOptimization", &InstallMsbNodesOptimization, nullptr,
                                             &MsbNodesPlans};

}  // namespace Quillmend
