#include "Patches/Compiler/CompilerPackageLookupOptimization.h"

#include "Framework/IDEHooks.h"
#include "Framework/LibraryEntry.h"

#include <memory>
#include "Patches/Compiler/PackageLookupPatterns.h"

namespace Quillmend {

TPointerHashTable* Lookups = nullptr;
TDccPackage* LookupHead = nullptr;
TPackageLookup* CurrentLookup = nullptr;

namespace {

namespace Patterns = PackageLookupPatterns;

const wchar_t* const Dcc = L"dcc150.dll";
constexpr int32_t NoLimit = 0;
constexpr int32_t ErrorNumberLimit = 0x10000;

using TRemovePackage = void QM_REGISTER (*)(TDccPackage* package, uint32_t keepRecord);
using TReleaseAll = void QM_REGISTER (*)();
using TLoadPackage = TDccPackage* QM_REGISTER (*)(const char* name);
using TErrorRoutine = void(__cdecl*)(int32_t number, const char* package, const char* other, const char* unit);

TDccPackage** g_packageListHead = nullptr;
TPackageNameCompare g_nameCompare = nullptr;
TErrorRoutine g_errorRoutine = nullptr;
int32_t g_errorNumber = 0;
TRemovePackage g_removeOrg = nullptr;
TReleaseAll g_releaseAllOrg = nullptr;
TLoadPackage g_loadOrg = nullptr;

// One duplicate the check found; reported after the lookup's work is done.
struct TDuplicate {
  const char* Package;
  const char* Other;
  const char* Unit;
};
std::vector<TDuplicate> g_duplicates;  // reused: nothing to destroy if the host's report raises

TPackageLookup* Stored(TDccPackage* head) {
  void* value = nullptr;
  return Lookups && Lookups->TryGetValue(head, value) ? static_cast<TPackageLookup*>(value) : nullptr;
}

void FreeLookupOf(TDccPackage* head) {
  if (Lookups) delete static_cast<TPackageLookup*>(Lookups->Remove(head));
}

const char* SkipDot(const char* name) { return *name == '.' ? name + 1 : name; }

TDccPackage* WalkByName(const char* name) {
  for (TDccPackage* package = *g_packageListHead; package; package = package->Next)
    if (g_nameCompare(package->Name, name) == 0) return package;
  return nullptr;
}

bool IsSysInit(const char* name) {
  return (name[0] == 'S' || name[0] == 's') && g_nameCompare(name, "SysInit") == 0;
}

bool BothWeak(const TDccPackageUnit* a, const TDccPackageUnit* b) {
  return (a->Flags & DccPackageUnitWeak) && (b->Flags & DccPackageUnitWeak);
}

// Another package holding the unit `node` of `package` (not both weak), for a
// name the lookup keeps under `package` itself while others were left out.
TDccPackage* OtherHolder(const TDccPackage* package, const TDccPackageUnit* node) {
  for (TDccPackage* other = *g_packageListHead; other; other = other->Next) {
    if (other == package) continue;
    for (TDccPackageUnit* unit = other->Units; unit; unit = unit->Next)
      if (g_nameCompare(unit->Name, node->Name) == 0 && !BothWeak(node, unit)) return other;
  }
  return nullptr;
}

void FreeAllLookups() {
  if (!Lookups) return;
  Lookups->ForEach([](void*, void*, void* value, bool&) { delete static_cast<TPackageLookup*>(value); }, nullptr);
  delete Lookups;
  Lookups = nullptr;
  LookupHead = nullptr;
  CurrentLookup = nullptr;
}

} // namespace

void EnsureLookup(bool create) {
  TDccPackage* head = *g_packageListHead;
  LookupHead = head;
  CurrentLookup = nullptr;
  if (!head) return;
  if ((CurrentLookup = Stored(head))) return;
  if (!create) {
    LookupHead = nullptr;
    return;
  }
  auto lookup = std::make_unique<TPackageLookup>(g_nameCompare);
  lookup->Build(head);
  Lookups->AddOrSetValue(head, lookup.get());
  CurrentLookup = lookup.release();
}

TDccPackage* QM_REGISTER FindPackageByName(const char* name) {
  if (!name || !*g_packageListHead) return nullptr;
  return HostBoundary([name]() -> TDccPackage* {
    const char* wanted = SkipDot(name);
    if (*g_packageListHead != LookupHead) EnsureLookup(false);
    return CurrentLookup ? CurrentLookup->FindPackage(wanted) : WalkByName(wanted);
  });
}

TDccPackage* QM_REGISTER FindOrLoadPackage(const char* name) {
  if (TDccPackage* package = FindPackageByName(name)) return package;
  TDccPackage* loaded = g_loadOrg(name);
  if (loaded) {
    HostBoundary([loaded] {
      EnsureLookup(false);
      if (CurrentLookup) CurrentLookup->AddPackage(loaded);
    });
  }
  return loaded;
}

TDccPackage* QM_REGISTER FindUnitPackage(const char* unitName) {
  if (!*g_packageListHead || !unitName) return nullptr;
  return HostBoundary([unitName]() -> TDccPackage* {
    if (IsSysInit(unitName)) return nullptr;
    EnsureLookup(true);
    const TPackageUnitSlot* slot = CurrentLookup->FindUnitEntry(unitName);
    return slot ? slot->Package : nullptr;
  });
}

void QM_REGISTER OnRemovePackage(TDccPackage* package, uint32_t keepRecord) {
  HostBoundary([package] {
    EnsureLookup(false);
    if (!CurrentLookup) return;
    CurrentLookup->RemovePackage(package);
    if (package != LookupHead) return;
    // The list loses its head: the lookup stays with the rest of the list.
    if (TDccPackage* next = package->Next) {
      Lookups->ChangeKey(package, next);
      CurrentLookup->ListHead = next;
      LookupHead = next;
    } else {
      FreeLookupOf(package);
      LookupHead = nullptr;
      CurrentLookup = nullptr;
    }
  });
  g_removeOrg(package, keepRecord);
}

void QM_REGISTER OnReleaseAll() {
  HostBoundary([] {
    EnsureLookup(false);
    if (!CurrentLookup) return;
    FreeLookupOf(LookupHead);
    LookupHead = nullptr;
    CurrentLookup = nullptr;
  });
  g_releaseAllOrg();
}

uint32_t QM_REGISTER CheckDuplicateUnits(TDccPackage* package) {
  if (!package || !package->Units) return 0;
  HostBoundary([package] {
    g_duplicates.clear();
    EnsureLookup(true);
    bool first = true;
    for (TDccPackageUnit* node = package->Units; node; node = node->Next) {
      const TPackageUnitSlot* slot = CurrentLookup->FindUnitEntry(node->Name, !first);
      first = false;
      if (!slot) continue;
      if (slot->Package != package) {
        if (!BothWeak(node, slot->UnitNode)) g_duplicates.push_back({package->Name, slot->Package->Name, node->Name});
      } else if (slot->Shadows > 0) {
        // This package is the name's first holder: a later one holds it too.
        if (TDccPackage* other = OtherHolder(package, node))
          g_duplicates.push_back({package->Name, other->Name, node->Name});
      }
    }
  });
  for (const TDuplicate& d : g_duplicates) g_errorRoutine(g_errorNumber, d.Package, d.Other, d.Unit);
  return g_duplicates.empty() ? 0 : 1;
}

namespace {

TPatchPlan PackageLookupPlan() {
  TPatchPlan plan(L"Compiler.FindPackage", L"Compiler FindPackage optimization");
  plan.LoadedModule(Dcc, &GetDccHandle);
  TSiteRef find = plan.Pattern(L"PackageFind", Dcc, Patterns::FindPackage, NoLimit);
  TSiteRef remove = plan.PatternFrom(L"PackageRemove", find, 0, Patterns::RemovePackage, NoLimit);
  TSiteRef releaseAll = plan.PatternFrom(L"PackageReleaseAll", remove, 0, Patterns::ReleaseAll, 0x200);
  TSiteRef load = plan.PatternFrom(L"PackageFindOrLoad", releaseAll, 0, Patterns::FindOrLoad, 0x200);
  TSiteRef ofUnit = plan.PatternFrom(L"PackageOfUnit", load, 0, Patterns::PackageOfUnit, NoLimit);
  TSiteRef check = plan.PatternFrom(L"PackageDuplicateCheck", load, 0, Patterns::DuplicateCheck, 0x2000);
  TSiteRef report = plan.PatternFrom(L"PackageDuplicateError", check, 0, Patterns::DuplicateError, 0x100);
  plan.ExpectU32(find, 0x27, DccPackageLayout::Name);
  plan.ExpectU32(load, 0x2A, DccPackageLayout::Name);
  plan.ExpectU32(report, 0x05, DccPackageLayout::Name);
  plan.ExpectU32(report, 0x0C, DccPackageLayout::Name);
  TCaptureRef head = plan.Operand(find, 0x19);
  // Every routine works on the one package list the lookup is kept for.
  const struct {
    TSiteRef Site;
    int32_t Offset;
    const wchar_t* What;
  } heads[] = {
      {remove, 0x27, L"PackageRemove +0x27: the package list head"},
      {releaseAll, 0x08, L"PackageReleaseAll +0x08: the package list head"},
      {load, 0x1B, L"PackageFindOrLoad +0x1B: the package list head"},
      {ofUnit, 0x43, L"PackageOfUnit +0x43: the package list head"},
      {check, 0x0E, L"PackageDuplicateCheck +0x0E: the package list head"},
  };
  for (const auto& h : heads) plan.ExpectEqual(plan.Operand(h.Site, h.Offset), head, h.What);
  TCaptureRef compare = plan.CallTarget(find, 0x2D);
  TCaptureRef errorNumber = plan.Operand(report, 0x13);
  TCaptureRef errorRoutine = plan.CallTarget(report, 0x17);
  plan.Expect(L"PackageDuplicateError +0x13: an error number",
              [=](const TPlanValues& v) { return v.Value(errorNumber) < ErrorNumberLimit; });
  plan.WriteJump(find, 0, &FindPackageByName, {0x90});
  plan.WriteJump(ofUnit, 0, &FindUnitPackage, {0x90});
  plan.RedirectOrgCall(remove, &OnRemovePackage, reinterpret_cast<void**>(&g_removeOrg));
  plan.RedirectOrgCall(releaseAll, &OnReleaseAll, reinterpret_cast<void**>(&g_releaseAllOrg));
  // The compiler's own name loop no longer compares: its routine always loads.
  plan.WriteBytes(load, 0x29, "EB F6 90 90 90");
  plan.RedirectOrgCall(load, &FindOrLoadPackage, reinterpret_cast<void**>(&g_loadOrg));
  plan.Redirect(check, &CheckDuplicateUnits);
  plan.OnCommit([=](const TPlanValues& v) {
    if (!Lookups) Lookups = new TPointerHashTable(16);
    g_packageListHead = v.Get<TDccPackage**>(head);
    g_nameCompare = v.Get<TPackageNameCompare>(compare);
    g_errorNumber = int32_t(v.Value(errorNumber));
    g_errorRoutine = v.Get<TErrorRoutine>(errorRoutine);
  });
  plan.OnRollback([] { FreeAllLookups(); });
  return plan;
}

void InitializePackageLookup() { AddWizardInitProc(&InstallPackageLookup); }

// The framework has put every byte back before the units finalize.
void FinalizePackageLookup() {
  FreeAllLookups();
  std::vector<TDuplicate>().swap(g_duplicates);
}

} // namespace

std::vector<TPatchPlan> PackageLookupPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(PackageLookupPlan());
  return plans;
}

void InstallPackageLookup() {
  TPatchPlan plan = PackageLookupPlan();
  InstallPlan(plan);
}

const TUnitInfo Unit_CompilerPackageLookupOptimization = {"CompilerPackageLookupOptimization",
                                                          &InitializePackageLookup, &FinalizePackageLookup,
                                                          &PackageLookupPlans};

} // namespace Quillmend
