#include "Patches/Compiler/CompilerCreateRootTypeUnitListOpt.h"

#include "Framework/HostFinally.h"
#include "Framework/IDEHooks.h"
#include "Framework/LibraryEntry.h"
#include "Hooking/PointerHashTable.h"
#include "Hooking/StringHash.h"

namespace Quillmend {

// The routine answering a root's list, continued in by the stub below, and
// the list it answered last.
void* g_rootListOf asm("QmHostRootListOf") = nullptr;
TRootTypeList* g_currentRootList asm("QmCurrentRootList") = nullptr;

// The call at C: the host's routine with the registers as given, its answer remembered.
extern "C" void QmRememberRootList() asm("QmRememberRootList");
asm(".text\n"
    ".balign 16\n"
    "QmRememberRootList:\n"
    "  call *QmHostRootListOf\n"
    "  movl %eax, QmCurrentRootList\n"
    "  ret\n");

namespace {

using THostUnitList = void*(QM_REGISTER*)(void* firstNode);

void* g_orgUnitList = nullptr;
TRootTypeUnitSymbolHashTable::TCompare g_compare = nullptr;
// The sets of the running call (null outside one), by list record.
TPointerHashTable* g_sets = nullptr;
int32_t g_live = 0;

void FreeSets(TPointerHashTable* sets) {
  sets->ForEach(
      [](void*, void*, void* value, bool&) {
        delete static_cast<TRootTypeUnitSymbolHashTable*>(value);
        --g_live;
      },
      nullptr);
  delete sets;
}

} // namespace

const char* RootTypeNodeName(const TRootTypeNode* node) {
  const uint8_t* symbol = *reinterpret_cast<uint8_t* const*>(node->Item + 0x0C);
  return reinterpret_cast<const char*>(symbol + 0x1E);
}

uint32_t TRootTypeUnitSymbolHashTable::GetHash(const void* p) const {
  return Utf8HashText(static_cast<const char*>(p));
}

bool TRootTypeUnitSymbolHashTable::ItemsEqual(const void* a, const void* b) const {
  return FCompare(static_cast<const char*>(a), static_cast<const char*>(b)) == 0;
}

void TRootTypeUnitSymbolHashTable::CatchUp(const TRootTypeList* list) {
  const TRootTypeNode* node = FLastNode ? FLastNode->Next : list->First;
  for (; node; node = node->Next) {
    Add(const_cast<char*>(RootTypeNodeName(node)));
    FLastNode = node;
  }
}

int32_t InRootTypeList(const char* name) {
  TRootTypeList* list = g_currentRootList;
  if (!g_sets) {
    // Outside a call of R: the host's walk.
    for (const TRootTypeNode* node = list->First; node; node = node->Next)
      if (g_compare(RootTypeNodeName(node), name) == 0) return 0;
    return 1;
  }
  void* found = nullptr;
  auto* set = g_sets->TryGetValue(list, found) ? static_cast<TRootTypeUnitSymbolHashTable*>(found) : nullptr;
  if (!set) {
    int32_t nodes = 0;
    for (const TRootTypeNode* node = list->First; node; node = node->Next) ++nodes;
    set = new TRootTypeUnitSymbolHashTable(nodes, g_compare);
    ++g_live;
    g_sets->AddOrSetValue(list, set);
  }
  set->CatchUp(list);
  int32_t index;
  return set->Find(name, index) ? 0 : 1;
}

int32_t RootTypeSetsLive() { return g_live; }

namespace {

// The comparison at C+0x1A: eax the element's name, edx the searched one.
int32_t QM_REGISTER InRootTypeListStub(const char* /*element*/, const char* name) { return InRootTypeList(name); }

// R with sets of its own, freed when it returns or raises; a nested call
// keeps the outer call's sets aside.
void* QM_REGISTER RootTypeUnitList(void* firstNode) {
  struct TCall {
    void* FirstNode;
    void* Result;
    TPointerHashTable* Outer;
  } call{firstNode, nullptr, g_sets};
  g_sets = new TPointerHashTable(32);
  HostTryFinally(
      [](void* data) {
        auto* c = static_cast<TCall*>(data);
        c->Result = reinterpret_cast<THostUnitList>(g_orgUnitList)(c->FirstNode);
      },
      &call,
      [](void* data) {
        FreeSets(g_sets);
        g_sets = static_cast<TCall*>(data)->Outer;
      });
  return call.Result;
}

const wchar_t* const Dcc = L"dcc150.dll";
namespace Patterns = RootTypeUnitListPatterns;

TPatchPlan RootTypesPlan() {
  TPatchPlan plan(L"Compiler.RootTypeUnitList", L"RootTypeUnitList performance optimization");
  plan.LoadedModule(Dcc, &GetDccHandle);
  TSiteRef unitList = plan.Pattern(L"RootTypeUnitList", Dcc, Patterns::UnitList, 0);
  TSiteRef search = plan.PatternFrom(L"RootTypeListSearch", unitList, 0, Patterns::Search, Patterns::SearchWindow);
  TCaptureRef listOf = plan.CallTarget(search, Patterns::ListCall);
  TCaptureRef compare = plan.CallTarget(search, Patterns::CompareCall);
  plan.RedirectOrgCall(unitList, &RootTypeUnitList, &g_orgUnitList);
  plan.RetargetCall(search, Patterns::ListCall, &QmRememberRootList);
  plan.RetargetCall(search, Patterns::CompareCall, &InRootTypeListStub);
  plan.WriteBytes(search, Patterns::LoopBack, "90 90");
  plan.OnCommit([=](const TPlanValues& v) {
    g_rootListOf = v.Get<void*>(listOf);
    g_compare = v.Get<TRootTypeUnitSymbolHashTable::TCompare>(compare);
  });
  return plan;
}

void InitializeCompilerCreateRootTypeUnitListOpt() { AddWizardInitProc(&InstallCompilerCreateRootTypeUnitListOpt); }

} // namespace

std::vector<TPatchPlan> CompilerCreateRootTypeUnitListOptPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(RootTypesPlan());
  return plans;
}

void InstallCompilerCreateRootTypeUnitListOpt() {
  TPatchPlan plan = RootTypesPlan();
  InstallPlan(plan);
}

const TUnitInfo Unit_CompilerCreateRootTypeUnitListOpt = {
    "CompilerCreateRootTypeUnitListOpt", &InitializeCompilerCreateRootTypeUnitListOpt, nullptr,
    &CompilerCreateRootTypeUnitListOptPlans};

} // namespace Quillmend
