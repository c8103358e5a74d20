#include "Patches/Compiler/SymLookupHash.h"

#include "Framework/IDEHooks.h"
#include "Framework/LibraryEntry.h"
#include "Hooking/StringHash.h"
#include "Patches/Compiler/CompilerOptimization.h"
#include "Patches/Compiler/SymLookupHashPatterns.h"

namespace Quillmend {

TPointerHashTable* UnitSymbolTables = nullptr;
const char* LastLookupName = nullptr;
uint32_t LastLookupHash = 0;
TSymHashTableItem* LastFoundItem = nullptr;
TSymbolNameCompare SymbolNameCompare = nullptr;


namespace {

namespace Patterns = SymLookupHashPatterns;

const wchar_t* const Dcc = L"dcc150.dll";
constexpr int32_t NoLimit = 0;

using TCompileCmdLine = int32_t(__stdcall*)(const char* commandLine);
TCompileCmdLine g_hostCompileCmdLine = nullptr;
TUnitReleaseHandler g_previousReleaseHandler = nullptr;

// The symbol of the first item from `item` on with the searched name.
TSymHashTableItem* Walk(TSymHashTableItem* item) {
  for (; item; item = item->Next)
    if (item->Hash == LastLookupHash && SymbolNameCompare(LastLookupName, item->Symbol->Name) == 0) return item;
  return nullptr;
}

TDccSymbol* SymbolOf(const TSymHashTableItem* item) { return item ? item->Symbol : nullptr; }

bool Qualifies(const TDccSymbol* symbol) {
  return (symbol->Flags & DccSymbolLookupFlag) && symbol->Kind != DccUnlookedSymbolKind;
}

void FreeTables() {
  if (!UnitSymbolTables) return;
  UnitSymbolTables->ForEach(
      [](void*, void*, void* table, bool&) { delete static_cast<TUnitSymbolHashTable*>(table); }, nullptr);
}

int32_t __stdcall CompileCmdLineReplacement(const char* commandLine) {
  HostBoundary([] { ResetSymbolTables(); });
  return g_hostCompileCmdLine(commandLine);
}

void ReleaseHandler(void* unit) { ReleaseUnitSymbolTable(unit); }

} // namespace

// Stubs in the compiler's lookup; see the plan below.
//   ScopeLookupEntry (over A's start): LastLookupName := null, then A as it was.
//   LookupStub (called at B+0xA after "mov edx,esp"): ebp := LookupSymbol(
//     name at [edx], bl, ecx); edx := the hash byte as the compiler leaves it.
//   NextStub (called at C): ebp := FindNextSymbol(), flags of "test ebp,ebp".
extern "C" void ScopeLookupEntry() asm("QmScopeLookupEntry");
extern "C" void LookupStub() asm("QmSymLookupStub");
extern "C" void NextStub() asm("QmSymNextStub");
extern "C" void* g_scopeLookupOrg asm("QmScopeLookupOrg");
void* g_scopeLookupOrg = nullptr;
asm(".text\n"
    ".intel_syntax noprefix\n"
    ".balign 16\n"
    "QmScopeLookupEntry:\n"
    "  mov dword ptr [QmLastLookupName], 0\n"
    "  jmp dword ptr [QmScopeLookupOrg]\n"
    ".balign 16\n"
    "QmSymLookupStub:\n"
    "  push eax\n"
    "  mov eax, [edx]\n"  // the name, in the caller's first stack slot
    "  movzx edx, bl\n"
    "  cmp dword ptr [ecx+edx*4+0x16C], 0\n"  // an empty chain answers at once
    "  je 1f\n"
    "  push ecx\n"
    "  call QmLookupSymbol\n"
    "  pop ecx\n"
    "  mov ebp, eax\n"
    "  movzx edx, bl\n"
    "  pop eax\n"
    "  ret\n"
    "1:\n"
    "  xor ebp, ebp\n"
    "  pop eax\n"
    "  ret\n"
    ".balign 16\n"
    "QmSymNextStub:\n"
    "  push eax\n"
    "  push ecx\n"
    "  push edx\n"
    "  call QmFindNextSymbol\n"
    "  mov ebp, eax\n"
    "  pop edx\n"
    "  pop ecx\n"
    "  pop eax\n"
    "  test ebp, ebp\n"
    "  ret\n"
    ".att_syntax\n");

TUnitSymbolHashTable::TUnitSymbolHashTable(int32_t capacity)
    : Items(size_t(capacity)), BucketCount(uint32_t(capacity) | 1) {
  Buckets.assign(BucketCount, TSymHashTableBucket{nullptr, nullptr});
}

void TUnitSymbolHashTable::Add(uint32_t hash, TDccSymbol* symbol) {
  TSymHashTableItem* item = &Items[size_t(Count++)];
  item->Hash = hash;
  item->Symbol = symbol;
  item->Next = nullptr;
  TSymHashTableBucket& bucket = BucketOf(hash);
  if (bucket.Last)
    bucket.Last->Next = item;
  else
    bucket.First = item;
  bucket.Last = item;
}

TUnitSymbolHashTable* BuildUnitSymbolTable(const TDccUnit* unit) {
  int32_t count = 0;
  for (TDccSymbol* head : unit->SymbolChains)
    for (TDccSymbol* symbol = head; symbol; symbol = symbol->Next) count += Qualifies(symbol);
  auto* table = new TUnitSymbolHashTable(count);
  for (TDccSymbol* head : unit->SymbolChains)
    for (TDccSymbol* symbol = head; symbol; symbol = symbol->Next)
      if (Qualifies(symbol)) table->Add(Utf8HashText(symbol->Name), symbol);
  return table;
}

TDccSymbol* QM_REGISTER LookupSymbol(const char* name, uint32_t hashByte, TDccUnit* unit) {
  if (!unit->SymbolChains[hashByte & 0xFF]) return nullptr;
  return HostBoundary([name, unit]() -> TDccSymbol* {
    if (name != LastLookupName) {
      LastLookupName = name;
      LastLookupHash = Utf8HashText(name);
    }
    void* found;
    TUnitSymbolHashTable* table;
    if (UnitSymbolTables->TryGetValue(unit, found)) {
      table = static_cast<TUnitSymbolHashTable*>(found);
    } else {
      table = BuildUnitSymbolTable(unit);
      UnitSymbolTables->AddOrSetValue(unit, table);
    }
    LastFoundItem = Walk(table->BucketOf(LastLookupHash).First);
    return SymbolOf(LastFoundItem);
  });
}

TDccSymbol* QM_REGISTER FindNextSymbol() {
  if (!LastFoundItem || !LastFoundItem->Next) return nullptr;
  LastFoundItem = Walk(LastFoundItem->Next);
  return SymbolOf(LastFoundItem);
}

void ResetSymbolTables() {
  if (!UnitSymbolTables) return;
  FreeTables();
  UnitSymbolTables->Clear(16);
  LastFoundItem = nullptr;
}

void ReleaseUnitSymbolTable(void* unit) {
  if (UnitSymbolTables) {
    auto* table = static_cast<TUnitSymbolHashTable*>(UnitSymbolTables->Remove(unit));
    if (table) {
      if (LastFoundItem && LastFoundItem >= table->Items.data() && LastFoundItem < table->Items.data() + table->Count)
        LastFoundItem = nullptr;
      delete table;
    }
  }
  if (g_previousReleaseHandler) g_previousReleaseHandler(unit);
}

TPatchPlan SymLookupPlan() {
  TPatchPlan plan(L"Compiler.SymLookup", L"HashTable for SymLookup");
  // Tables are dropped on the release notifications the unit-of-address
  // index raises: without it a reused unit record would answer with the
  // symbols of the unit released before.
  plan.Needs({L"Compiler.GetUnitOf"});
  plan.LoadedModule(Dcc, &GetDccHandle);
  TSiteRef compile = plan.Export(L"CompilerCompileCmdLine", Dcc, "CompilerCompileCmdLine");
  TSiteRef a = plan.Pattern(L"SymLookupA", Dcc, Patterns::ScopeLookup, NoLimit);
  plan.ExpectU32(a, 0x32, DccUnitLayout::SymbolChains);
  TSiteRef b = plan.PatternFrom(L"SymLookupB", a, 0, Patterns::InnerLoop, NoLimit);
  TSiteRef c = plan.PatternFrom(L"SymLookupC", b, 0, Patterns::NextCandidate, 0x200);
  plan.ExpectU32(b, 0x0B, DccUnitLayout::SymbolChains);
  plan.ExpectU8(b, 0x2D, DccSymbolLayout::Name);
  // C's loop-back must reach B+0x17, where the rewritten loop goes on.
  plan.Expect(L"SymLookupC +0x05: jump back to SymLookupB +0x17 expected", [=](const TPlanValues& v) {
    const uint8_t* jump = v.At(c, 0x05);
    return jump + 6 + ReadInt32(jump + 2) == v.At(b, 0x17);
  });
  TCaptureRef compare = plan.CallTarget(b, 0x31);

  plan.RedirectOrgCall(compile, &CompileCmdLineReplacement, reinterpret_cast<void**>(&g_hostCompileCmdLine));
  plan.RedirectOrgCall(a, &ScopeLookupEntry, &g_scopeLookupOrg);
  plan.WriteBytes(b, 0x08, "89 E2");  // mov edx,esp
  plan.WriteCall(b, 0x0A, &LookupStub);
  plan.WriteCall(c, 0x00, &NextStub);
  plan.WriteBytes(b, 0x17, "EB 21 90 90");  // to B+0x3A: the candidate matches

  plan.OnCommit([=](const TPlanValues& v) {
    SymbolNameCompare = v.Get<TSymbolNameCompare>(compare);
    if (!UnitSymbolTables) UnitSymbolTables = new TPointerHashTable(16);
    LastLookupName = nullptr;
    LastFoundItem = nullptr;
    g_previousReleaseHandler = UnitReleaseHandler;
    UnitReleaseHandler = &ReleaseHandler;
  });
  plan.OnRollback([] { UnitReleaseHandler = g_previousReleaseHandler; });
  return plan;
}

void InstallSymLookupHash() {
  TPatchPlan plan = SymLookupPlan();
  InstallPlan(plan);
}

void FinalizeSymLookupHash() {
  if (UnitReleaseHandler == &ReleaseHandler) UnitReleaseHandler = g_previousReleaseHandler;
  g_previousReleaseHandler = nullptr;
  FreeTables();
  delete UnitSymbolTables;
  UnitSymbolTables = nullptr;
  LastLookupName = nullptr;
  LastFoundItem = nullptr;
}

namespace {

void InitializeSymLookupHash() { AddWizardInitProc(&InstallSymLookupHash); }

std::vector<TPatchPlan> SymLookupPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(SymLookupPlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_SymLookupHash = {"SymLookupHash", &InitializeSymLookupHash, &FinalizeSymLookupHash,
                                      &SymLookupPlans};

} // namespace Quillmend
