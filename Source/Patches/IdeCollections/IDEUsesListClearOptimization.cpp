#include "Patches/IdeCollections/IDEUsesListClearOptimization.h"

#include "Framework/HostFinally.h"
#include "Framework/HostObjectModel.h"
#include "Patches/IdeCollections/IdeCollectionsPatterns.h"
#include "Patches/IdeCollections/IdeModules.h"
#include "Patches/IdeCollections/UsesListModuleHash.h"

namespace Quillmend {

namespace {

using TSameText = uint8_t(QM_REGISTER*)(const wchar_t* a, const wchar_t* b);  // Boolean in AL
using TExpand = void(QM_REGISTER*)(const wchar_t* s, wchar_t** result);
using TListProc = void(QM_REGISTER*)(void* list);

struct TUsesHost {
  TSameText SameText = nullptr;
  TSameText AnsiSameText = nullptr;
  TSameText SameFileName = nullptr;
  TExpand ExpandUNCFileName = nullptr;
  void* ListClass = nullptr;        // the run-time's TList
  TListProc ListClear = nullptr;    // TList.Clear
};
TUsesHost g_host;

const wchar_t* Text(void* object, int32_t offset) {
  return *reinterpret_cast<const wchar_t* const*>(static_cast<char*>(object) + offset);
}

TUsesListModuleHash* IndexOf(void* list) {
  return *reinterpret_cast<TUsesListModuleHash**>(static_cast<char*>(list) + UsesListIndex);
}

// Called where the constructor made the host's index: EAX (the index class)
// and DL are the host's arguments; the answer goes where the index goes.
void* QM_REGISTER CreateModuleHash(void*, int32_t) {
  return HostBoundary([] { return static_cast<void*>(TUsesListModuleHash::Create(16)); });
}

bool Accepts(void* entry, const wchar_t* name, const wchar_t* fileName, bool matchName) {
  return SameFilePath(fileName, Text(entry, UsesEntryFileName)) ||
         (matchName && g_host.SameText(Text(entry, UsesEntryUnitName), name));
}

void* QM_REGISTER InternalFindFileEntryReplacement(void* list, const wchar_t* name, const wchar_t* fileName,
                                                   uint32_t matchName) {
  return HostBoundary([&]() -> void* {
    const TUsesListModuleHash* index = IndexOf(list);
    int32_t e = index->Find(name);
    if (e == -1) return nullptr;
    void* candidate = index->Entry(e).Obj;
    const bool byName = (matchName & 0xFF) != 0;
    // Further candidates must carry the name by the locale's comparison; the
    // walk ends at the first that does not, or at the end of the chain.
    while (!Accepts(candidate, name, fileName, byName)) {
      e = index->FindNext(e);
      if (e == -1) return nullptr;
      candidate = index->Entry(e).Obj;
      if (!g_host.AnsiSameText(Text(candidate, UsesEntryUnitName), name)) return nullptr;
    }
    return candidate;
  });
}

void QM_REGISTER NotifyReplacement(void* list, void* entry, uint32_t action) {
  HostBoundary([&] {
    switch (action & 0xFF) {
      case lnAdded: IndexOf(list)->Add(entry); break;
      case lnExtracted:
      case lnDeleted: IndexOf(list)->Remove(entry); break;
      default: break;
    }
  });
}

// The list cleared as a plain TList (no Notify per item): the object's
// class is the run-time's TList meanwhile, and its own again afterwards,
// also when a host exception passes.
void QM_REGISTER ClearReplacement(void* list) {
  if (HostListCount(list) == 0) return;
  IndexOf(list)->Clear();
  void** classSlot = static_cast<void**>(list);
  void* own = *classSlot;
  *classSlot = g_host.ListClass;
  struct TState {
    void** Slot;
    void* Own;
    void* List;
  } state{classSlot, own, list};
  HostTryFinally([](void* data) { g_host.ListClear(static_cast<TState*>(data)->List); }, &state,
                 [](void* data) {
                   auto* s = static_cast<TState*>(data);
                   *s->Slot = s->Own;
                 });
}

TPatchPlan UsesListClearPlan() {
  namespace E = IdeExports;
  TPatchPlan plan(L"IDE.UsesList.Clear", L"Faster TUsesList.Clear", TInstallMoment::UnitInit);
  TSiteRef create = plan.Export(L"TUsesList.Create", E::DelphiCoreIde, "@Basedelphiproject@TUsesList@$bctr$qqrv");
  TSiteRef setup = plan.PatternFrom(L"TUsesList.Create", create, 0, IdeCollectionsPatterns::UsesListCreateIndex, 50);
  TSiteRef entryClass = FilledClassRecord(plan, L"TUsesEntry class record",
                                          plan.Export(L"TUsesEntry", E::CoreIde, "@Usesentry@TUsesEntry@"));
  plan.Expect(L"TUsesEntry: 92-byte instances expected",
              [entryClass](const TPlanValues& v) { return HostInstanceSize(v.Site(entryClass)) == UsesEntryInstanceSize; });
  TSiteRef usesList = plan.Export(L"TUsesList", E::DelphiCoreIde, "@Basedelphiproject@TUsesList@");
  TSiteRef listClass = plan.Export(L"TList", E::Rtl, E::TListClass);
  TSiteRef listClear = plan.Export(L"TList.Clear", E::Rtl, E::TListClear);
  TSiteRef find = plan.Export(L"InternalFindFileEntry", E::DelphiCoreIde,
                              "@Basedelphiproject@TUsesList@InternalFindFileEntry$qqrx20System@UnicodeStringt1o");
  TSiteRef notify = plan.Export(L"TUsesList.Notify", E::DelphiCoreIde,
                                "@Basedelphiproject@TUsesList@Notify$qqrpv25Classes@TListNotification");
  TSiteRef root = plan.Export(L"TObject", E::Rtl, E::TObjectClass);
  TSiteRef sameText = plan.Export(L"SameText", E::Rtl, E::SameText);
  TSiteRef ansiSameText = plan.Export(L"AnsiSameText", E::Rtl, E::AnsiSameText);
  TSiteRef sameFileName = plan.Export(L"SameFileName", E::Rtl, E::SameFileName);
  TSiteRef expand = plan.Export(L"ExpandUNCFileName", E::Rtl, E::ExpandUNCFileName);
  plan.VmtField(usesList, plan.Address(listClear), &ClearReplacement);
  plan.RetargetCall(setup, 7, &CreateModuleHash);
  plan.WriteBytes(setup, 17, "EB 0E");
  plan.Redirect(find, &InternalFindFileEntryReplacement);
  plan.Redirect(notify, &NotifyReplacement);
  plan.OnCommit([=](const TPlanValues& v) {
    g_host.SameText = reinterpret_cast<TSameText>(v.Site(sameText));
    g_host.AnsiSameText = reinterpret_cast<TSameText>(v.Site(ansiSameText));
    g_host.SameFileName = reinterpret_cast<TSameText>(v.Site(sameFileName));
    g_host.ExpandUNCFileName = reinterpret_cast<TExpand>(v.Site(expand));
    g_host.ListClass = v.Site(listClass);
    g_host.ListClear = reinterpret_cast<TListProc>(v.Site(listClear));
    TUsesListModuleHash::SameFileName = g_host.SameFileName;
    TUsesListModuleHash::HostObjectClass = v.Site(root);
  });
  return plan;
}

}  // namespace

bool SameFilePath(const wchar_t* a, const wchar_t* b) {
  const int32_t lengthA = HostStringLength(a), lengthB = HostStringLength(b);
  auto unc = [](const wchar_t* s) { return s[0] == L'\\' && s[1] == L'\\'; };
  if (lengthA > 2 && lengthB > 2 && (unc(a) || unc(b))) {
    THostStringVar x, y;
    g_host.ExpandUNCFileName(a, x.Ref());
    g_host.ExpandUNCFileName(b, y.Ref());
    return g_host.SameFileName(x.Get(), y.Get()) != 0;
  }
  return lengthA == lengthB && g_host.SameFileName(a, b) != 0;
}

std::vector<TPatchPlan> UsesListClearPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(UsesListClearPlan());
  return plans;
}

void InstallUsesListClearOptimization() {
  TPatchPlan plan = UsesListClearPlan();
  InstallPlan(plan);
}

const TUnitInfo Unit_IDEUsesListClearOptimization = {"IDEUsesListClearOptimization", &InstallUsesListClearOptimization,
                                                     nullptr, &UsesListClearPlans};

}  // namespace Quillmend
