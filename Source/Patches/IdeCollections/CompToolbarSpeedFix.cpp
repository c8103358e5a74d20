#include "Patches/IdeCollections/CompToolbarSpeedFix.h"

#include <unordered_map>

#include "Framework/HostFinally.h"
#include "Framework/HostObjectModel.h"
#include "Framework/LibraryEntry.h"
#include "Hooking/StringHash.h"
#include "Patches/IdeCollections/IDEInterfaceSpeedFix.h"
#include "Patches/IdeCollections/IdeModules.h"

namespace Quillmend {

namespace {

using TGroupNames = std::unordered_map<std::wstring, std::wstring, TSameTextComparer, TSameTextComparer>;
using TFillTabs = void(QM_REGISTER*)(void* frame);
using TStringMethod = void(QM_REGISTER*)(void* intf, wchar_t** result);
using TIntfMethod = void(QM_REGISTER*)(void* intf, void** result);
using TCountMethod = int32_t(QM_REGISTER*)(void* intf);
using TItemMethod = void(QM_REGISTER*)(void* intf, int32_t index, void** result);
using TBoolMethod = uint32_t(QM_REGISTER*)(void* intf);

constexpr size_t ToolbarGroupNamesCapacity = 2048;

// ToolbarGroupNames: exists only while the tool bar fills its tabs (main thread).
TGroupNames* g_groupNames = nullptr;
void* g_fillTabsOrg = nullptr;

std::wstring StringOf(void* intf, int method) {
  THostStringVar text;
  HostIntfMethod<TStringMethod>(intf, method)(intf, text.Ref());
  return FromHostString(text.Get());
}

// Every visible component item's tool-bar name → the name of its group (a
// later group wins), read from the palette services' base group.
void FillGroupNames(TGroupNames& names) {
  THostIntfRef palette, base;
  if (!BorlandIDEServices || HostIntfQuery(BorlandIDEServices, PaletteServicesIid, palette.Ref()) != S_OK) return;
  HostIntfMethod<TIntfMethod>(palette.Get(), PaletteMethod::BaseGroup)(palette.Get(), base.Ref());
  if (!base) return;
  int32_t groups = HostIntfMethod<TCountMethod>(base.Get(), PaletteMethod::Count)(base.Get());
  for (int32_t g = 0; g < groups; ++g) {
    THostIntfRef child, group;
    HostIntfMethod<TItemMethod>(base.Get(), PaletteMethod::Item)(base.Get(), g, child.Ref());
    if (!child || HostIntfQuery(child.Get(), PaletteGroupIid, group.Ref()) != S_OK) continue;
    std::wstring groupName = StringOf(group.Get(), PaletteMethod::IdString);
    int32_t items = HostIntfMethod<TCountMethod>(group.Get(), PaletteMethod::Count)(group.Get());
    for (int32_t i = 0; i < items; ++i) {
      THostIntfRef entry, item;
      HostIntfMethod<TItemMethod>(group.Get(), PaletteMethod::Item)(group.Get(), i, entry.Ref());
      if (!entry || HostIntfQuery(entry.Get(), ComponentPaletteItemIid, item.Ref()) != S_OK) continue;
      if (!(HostIntfMethod<TBoolMethod>(item.Get(), PaletteMethod::Visible)(item.Get()) & 0xFF)) continue;
      names[StringOf(item.Get(), PaletteMethod::IdString)] = groupName;
    }
  }
}

void QM_REGISTER FillTabsReplacement(void* frame) {
  HostBoundary([frame] {
    g_groupNames = new TGroupNames(ToolbarGroupNamesCapacity);
    HostTryFinally(
        [frame] {
          FillGroupNames(*g_groupNames);
          reinterpret_cast<TFillTabs>(g_fillTabsOrg)(frame);
        },
        []() noexcept {
          delete g_groupNames;
          g_groupNames = nullptr;
        });
  });
}

void QM_REGISTER FindComponentGroupNameReplacement(void*, const wchar_t* name, wchar_t** result) {
  HostBoundary([&] {
    std::wstring answer;
    if (g_groupNames) {
      auto found = g_groupNames->find(FromHostString(name));
      if (found != g_groupNames->end()) answer = found->second;
    }
    AssignHostString(result, answer);
  });
}

TPatchPlan CompToolbarPlan() {
  TPatchPlan plan(L"IDE.CompToolbarSpeed", L"Performance fix the component toolbar", TInstallMoment::WizardInit);
  TSiteRef find = plan.Export(L"FindComponentGroupName", IdeExports::CompToolbar,
                              "@Comptoolbarframe@TComponentToolbarFrame@FindComponentGroupName$qqrx20System@UnicodeString");
  TSiteRef fill = plan.Export(L"FillTabs", IdeExports::CompToolbar, "@Comptoolbarframe@TComponentToolbarFrame@FillTabs$qqrv");
  plan.Redirect(find, &FindComponentGroupNameReplacement);
  plan.RedirectOrgCall(fill, &FillTabsReplacement, &g_fillTabsOrg);
  return plan;
}

}  // namespace

size_t TSameTextComparer::operator()(const std::wstring& key) const { return UnicodeHashTextI(key.c_str()); }

bool TSameTextComparer::operator()(const std::wstring& a, const std::wstring& b) const {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    wchar_t x = a[i], y = b[i];
    if (x >= L'a' && x <= L'z') x = wchar_t(x - 0x20);
    if (y >= L'a' && y <= L'z') y = wchar_t(y - 0x20);
    if (x != y) return false;
  }
  return true;
}

std::vector<TPatchPlan> CompToolbarSpeedFixPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(CompToolbarPlan());
  return plans;
}

void InstallCompToolbarSpeedFix() {
  TPatchPlan plan = CompToolbarPlan();
  InstallPlan(plan);
}

namespace {
void InitializeCompToolbarSpeedFix() { AddWizardInitProc(&InstallCompToolbarSpeedFix); }
}  // namespace

const TUnitInfo Unit_CompToolbarSpeedFix = {"CompToolbarSpeedFix", &InitializeCompToolbarSpeedFix, nullptr,
                                            &CompToolbarSpeedFixPlans};

}  // namespace Quillmend
