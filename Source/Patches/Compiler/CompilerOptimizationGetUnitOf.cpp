#include "Patches/Compiler/CompilerOptimizationGetUnitOf.h"

#include <algorithm>
#include <climits>
#include <windows.h>

#include "Framework/IDEHooks.h"
#include "Framework/LibraryEntry.h"
#include "Framework/PatchRegistry.h"
#include "Patches/Compiler/CompilerOptimization.h"
#include "Patches/Compiler/CompilerOptimizationGetUnitOfPatterns.h"

namespace Quillmend {

std::vector<TZoneIndexSlot> ZoneIndex;
TDccZone* LastZone = nullptr;
THostFreeZone HostFreeZone = nullptr;
THostNewZone HostNewZone = nullptr;

namespace Patterns = GetUnitOfPatterns;

// The current-unit variable the imported-symbol stubs fall back to (I1+0xB).
extern "C" TDccUnit** g_importsCurrentUnit asm("QmImportsCurrentUnit");
TDccUnit** g_importsCurrentUnit = nullptr;

namespace {

using THostCreateUnit1 = void* QM_REGISTER (*)(TDccContext* context, uint32_t bytes);
using THostCreateUnit2 = void* QM_REGISTER (*)(uint32_t bytes);
using THostAllocDescriptor = TDccZone* QM_REGISTER (*)();
// The two calls of the imported-symbol lookup: the scope a unit's symbols are
// qualified in, and the qualification of a symbol in it (index in cl).
using THostUnitScope = void* QM_REGISTER (*)(TDccUnit* unit, uint32_t flags);
using THostQualify = TDccSymbol* QM_REGISTER (*)(TDccSymbol* symbol, void* scope, uint32_t index);

constexpr int32_t SearchLimit = 0x10000;  // the pattern search reads this as 16 MB
constexpr int32_t NoLimit = 0;
const wchar_t* const Dcc = L"dcc150.dll";
const wchar_t* const GetUnitOfName = L"Compiler.GetUnitOf";
const wchar_t* const MemoryManagerInUse =
    L"AllocDescriptor: pattern not found, and the compiler's memory manager is already in use";
constexpr uint32_t EnlargedPoolBytes = 100 * DccZoneLayout::EnlargedSize;  // 2000: still 100 descriptors

THostCreateUnit1 g_hostCreateUnit1 = nullptr;
THostCreateUnit2 g_hostCreateUnit2 = nullptr;
THostAllocDescriptor g_allocDescriptor = nullptr;
TDccContext** g_currentContext = nullptr;   // N2+0x22
TDccContext** g_contextChains[3] = {};
TDccZone** g_freeRanges = nullptr;          // F+5
TDccZone** g_freeDescriptors = nullptr;     // M+1
TDccUnit** g_unitListHead = nullptr;        // G+0x3C
bool g_convertAtInstall = false;
THostUnitScope g_unitScope = nullptr;
THostQualify g_qualify = nullptr;

// -1: the slot's zone lies below the address, 0: holds it, 1: lies above.
// Unsigned: a zone and an address more than 2 GB apart compare the right way.
int Compare(const TZoneIndexSlot& slot, const void* address) {
  if (uintptr_t(address) - slot.Start < slot.Size) return 0;
  return slot.Start > uintptr_t(address) ? 1 : -1;
}

TZoneIndexSlot SlotOf(TDccZone* zone) {
  TDccZone* first = zone->Context ? zone->Context->FirstZone : nullptr;
  return {uintptr_t(zone->Start), zone->Size, zone, zone->Context, first ? first->ZoneUnit : nullptr};
}

// LastZone's slot, as it was when LastZone was found.
TZoneIndexSlot g_lastSlot = {};

void ForgetLastZone(const TDccZone* zone) {
  if (LastZone == zone) LastZone = nullptr;
}

// The slot of the zone holding `address` (LastZone's first), or null.
const TZoneIndexSlot* Search(const void* address) {
  if (LastZone && uintptr_t(address) - g_lastSlot.Start < g_lastSlot.Size) return &g_lastSlot;
  int32_t slot;
  if (!FindZoneIndex(address, slot)) return nullptr;
  g_lastSlot = ZoneIndex[size_t(slot)];
  LastZone = g_lastSlot.Zone;
  return &g_lastSlot;
}

// The unit a context belongs to: its first zone's ZoneUnit, and the copies
// in the slots of its zones.
void SetZoneUnit(TDccContext* context, TDccUnit* unit) {
  if (!context || !context->FirstZone) return;
  context->FirstZone->ZoneUnit = unit;
  for (TDccZone* zone = context->FirstZone; zone; zone = zone->Next) {
    int32_t slot;
    if (FindZoneIndex(zone->Start, slot) && ZoneIndex[size_t(slot)].Zone == zone) ZoneIndex[size_t(slot)].Unit = unit;
  }
  LastZone = nullptr;
}

// Takes one zone out of the index; false when it is not there.
bool Unindex(TDccZone* zone) {
  int32_t slot;
  if (!FindZoneIndex(zone->Start, slot) || ZoneIndex[size_t(slot)].Zone != zone) return false;
  ZoneIndex.erase(ZoneIndex.begin() + slot);
  ForgetLastZone(zone);
  return true;
}

// The compiler released the unit its context's first zone names.
void ReleaseZoneUnit(const TDccZone* first) {
  if (first->ZoneUnit) NotifyUnitReleased(first->ZoneUnit);
}

} // namespace

bool FindZoneIndex(const void* address, int32_t& index) {
  int32_t lo = 0, hi = int32_t(ZoneIndex.size()) - 1;
  while (hi >= lo) {
    const int32_t mid = (lo + hi) / 2;
    const int d = Compare(ZoneIndex[size_t(mid)], address);
    if (d == 0) {
      index = mid;
      return true;
    }
    if (d < 0)
      lo = mid + 1;
    else
      hi = mid - 1;
  }
  index = lo;
  return false;
}

bool FindZoneIndexSkippingNulls(const void* address, int32_t& index) {
  int32_t lo = 0, hi = int32_t(ZoneIndex.size()) - 1;
  while (hi >= lo) {
    const int32_t mid = (lo + hi) / 2;
    int32_t probe = mid;
    while (probe >= lo && !ZoneIndex[size_t(probe)].Zone) --probe;
    if (probe < lo) {
      probe = mid + 1;
      while (probe <= hi && !ZoneIndex[size_t(probe)].Zone) ++probe;
      if (probe > hi) break;  // nothing but null slots left
    }
    const int d = Compare(ZoneIndex[size_t(probe)], address);
    if (d == 0) {
      index = probe;
      return true;
    }
    if (d < 0)
      lo = probe + 1;
    else
      hi = probe - 1;
  }
  index = lo;
  return false;
}

TDccContext* FindContext(const void* address) {
  const TZoneIndexSlot* slot = Search(address);
  return slot ? slot->Context : nullptr;
}

TDccUnit* QM_REGISTER GetUnitOfAddress(const void* address) {
  const TZoneIndexSlot* slot = Search(address);
  return slot ? slot->Unit : nullptr;
}

TDccContext* QM_REGISTER FindContextOrNil(const void* address) { return address ? FindContext(address) : nullptr; }

TDccUnit* QM_REGISTER GetUnitOfOrNil(const void* address) { return address ? GetUnitOfAddress(address) : nullptr; }

void IndexZone(TDccZone* zone) {
  int32_t slot;
  if (FindZoneIndex(zone->Start, slot)) {
    ForgetLastZone(ZoneIndex[size_t(slot)].Zone);
    ZoneIndex[size_t(slot)] = SlotOf(zone);
    return;
  }
  ZoneIndex.insert(ZoneIndex.begin() + slot, SlotOf(zone));
}

TDccZone* QM_REGISTER OnZoneAllocated(TDccContext* context, uint32_t bytes) {
  TDccZone* before = context->CurrentZone;
  TDccZone* result = HostNewZone(context, bytes);
  TDccZone* zone = context->CurrentZone;
  if (zone && zone != before) {
    zone->Context = context;
    zone->ZoneUnit = nullptr;
    HostBoundary([zone] { IndexZone(zone); });
  }
  return result;
}

void QM_REGISTER OnZoneFreed(TDccZone* zone) {
  // The index must be done with the descriptor before the compiler merges
  // it into a free range (and perhaps releases it).
  if (Unindex(zone)) ReleaseZoneUnit(zone);
  HostFreeZone(zone);
}

void QM_REGISTER OnZoneChainFreed(TDccZone* first) {
  if (!first) return;
  // Every zone of the chain leaves the index, the first one too when it is
  // not there: slots are nulled and the index compacted once between the
  // lowest and highest of them. Only an indexed first zone's fields are
  // trusted for the release notification.
  int32_t low = INT32_MAX, high = -1;
  bool firstIndexed = false;
  for (TDccZone* zone = first; zone; zone = zone->Next) {
    ForgetLastZone(zone);
    int32_t slot;
    if (!FindZoneIndexSkippingNulls(zone->Start, slot) || ZoneIndex[size_t(slot)].Zone != zone) continue;
    ZoneIndex[size_t(slot)].Zone = nullptr;
    low = std::min(low, slot);
    high = std::max(high, slot);
    firstIndexed |= zone == first;
  }
  if (high >= 0) {
    auto begin = ZoneIndex.begin() + low, end = ZoneIndex.begin() + high + 1;
    ZoneIndex.erase(std::remove_if(begin, end, [](const TZoneIndexSlot& s) { return !s.Zone; }), end);
  }
  if (firstIndexed) ReleaseZoneUnit(first);
  for (TDccZone* zone = first; zone;) {
    TDccZone* next = zone->Next;
    HostFreeZone(zone);
    zone = next;
  }
}

void* QM_REGISTER OnUnitCreated1(TDccContext* context, uint32_t bytes) {
  void* unit = g_hostCreateUnit1(context, bytes);
  SetZoneUnit(context, static_cast<TDccUnit*>(unit));
  return unit;
}

void* QM_REGISTER OnUnitCreated2(uint32_t bytes) {
  void* unit = g_hostCreateUnit2(bytes);
  SetZoneUnit(*g_currentContext, static_cast<TDccUnit*>(unit));
  return unit;
}

void ResetGetUnitOf() {
  std::vector<TZoneIndexSlot>().swap(ZoneIndex);
  LastZone = nullptr;
  g_convertAtInstall = false;
}

namespace {

// The compiler already has contexts (or released memory) when the patch is
// installed: their 12-byte descriptors are replaced by enlarged copies,
// everywhere one is referred to (first and current zone, the links, the
// free ranges), and the copies are indexed. Each context's first zone gets
// the first listed unit whose record lies in the context: the compiler's
// own answer for that context. The old descriptors are left where they are;
// none of them is handed out again.
void ConvertExistingContexts() {
  *g_freeDescriptors = nullptr;  // the pool refills with enlarged descriptors
  auto copyOf = [](const TDccZone* old, TDccContext* context) {
    TDccZone* copy = g_allocDescriptor();
    copy->Next = old->Next;
    copy->Size = old->Size;
    copy->Start = old->Start;
    copy->Context = context;
    copy->ZoneUnit = nullptr;
    return copy;
  };
  std::vector<TZoneIndexSlot> zones;
  for (TDccContext** chain : g_contextChains)
    for (TDccContext* context = *chain; context; context = context->Next)
      for (TDccZone** link = &context->FirstZone; *link; link = &(*link)->Next) {
        TDccZone* old = *link;
        TDccZone* copy = copyOf(old, context);
        *link = copy;
        if (context->CurrentZone == old) context->CurrentZone = copy;
        zones.push_back(SlotOf(copy));
      }
  for (TDccZone** link = g_freeRanges; *link; link = &(*link)->Next) *link = copyOf(*link, nullptr);
  std::sort(zones.begin(), zones.end(),
            [](const TZoneIndexSlot& a, const TZoneIndexSlot& b) { return a.Start < b.Start; });
  ZoneIndex = std::move(zones);
  LastZone = nullptr;
  for (TDccUnit* unit = *g_unitListHead; unit; unit = unit->Next)
    if (TDccContext* context = FindContext(unit))
      if (!context->FirstZone->ZoneUnit) context->FirstZone->ZoneUnit = unit;
  for (TZoneIndexSlot& slot : ZoneIndex) slot.Unit = slot.Context->FirstZone->ZoneUnit;
  LastZone = nullptr;
}

bool MemoryManagerUsed(const TPlanValues& v, const TCaptureRef (&chains)[3], TCaptureRef freeRanges) {
  for (int i = 0; i < 3; ++i)
    if (*v.Get<TDccContext**>(chains[i])) return true;
  return *v.Get<TDccZone**>(freeRanges) != nullptr;
}

// I1's replacement: the unit of the symbol by the index instead of the
// walk over every unit's chain.
TDccSymbol* QM_REGISTER SymbolReferenceReplacement(TDccSymbol* symbol) {
  TDccUnit* unit = GetUnitOfAddress(symbol);
  if (!unit || unit == *g_importsCurrentUnit) return symbol;
  return g_qualify(symbol, g_unitScope(unit, 0), symbol->Byte2);
}

} // namespace

// Stubs called from the middle of the imported-symbol lookup. Each sets the
// registers its place names, leaves what the compiler reads afterwards as the
// compiler's own loop would, and keeps every other register.
//   I2: ecx := the unit of the reference in ebx (the current unit if none), eax := 0.
//   I3: esi := the unit of the symbol in ebx, eax := ebx.
//   I5: ecx := the first import (list in ecx, linked at +0x14) of the unit of
//       the symbol at +0x0C of eax (null if there is none), edx := that symbol.
extern "C" void QmReferenceOwnerStub() asm("QmReferenceOwnerStub");
extern "C" void QmDeclaringUnitStub() asm("QmDeclaringUnitStub");
extern "C" void QmImportNodeStub() asm("QmImportNodeStub");
asm(".text\n"
    ".intel_syntax noprefix\n"
    ".balign 16\n"
    "QmReferenceOwnerStub:\n"
    "  push edx\n"
    "  mov eax, ebx\n"
    "  call QmGetUnitOfAddress\n"
    "  test eax, eax\n"
    "  jnz 1f\n"
    "  mov eax, [QmImportsCurrentUnit]\n"
    "  mov eax, [eax]\n"
    "1:\n"
    "  mov ecx, eax\n"
    "  xor eax, eax\n"
    "  pop edx\n"
    "  ret\n"
    ".balign 16\n"
    "QmDeclaringUnitStub:\n"
    "  push ecx\n"
    "  push edx\n"
    "  mov eax, ebx\n"
    "  call QmGetUnitOfAddress\n"
    "  mov esi, eax\n"
    "  mov eax, ebx\n"
    "  pop edx\n"
    "  pop ecx\n"
    "  ret\n"
    ".balign 16\n"
    "QmImportNodeStub:\n"
    "  push eax\n"
    "  push ecx\n"
    "  mov eax, [eax+0x0C]\n"
    "  call QmGetUnitOfAddress\n"
    "  pop ecx\n"
    "  test eax, eax\n"
    "  jnz 2f\n"
    "  xor ecx, ecx\n"
    "  jmp 3f\n"
    "1:\n"
    "  mov ecx, [ecx+0x14]\n"
    "2:\n"
    "  test ecx, ecx\n"
    "  jz 3f\n"
    "  cmp [ecx+0x10], eax\n"
    "  jne 1b\n"
    "3:\n"
    "  pop eax\n"
    "  mov edx, [eax+0x0C]\n"
    "  ret\n"
    ".att_syntax\n");

TPatchPlan GetUnitOfPlan() {
  TPatchPlan plan(GetUnitOfName, L"GetUnitOf optimization");
  plan.LoadedModule(Dcc, &GetDccHandle);
  TSiteRef g = plan.Pattern(L"GetUnitOf", Dcc, Patterns::GetUnitOf, SearchLimit);
  TSiteRef a = plan.Pattern(L"NewZone", Dcc, Patterns::NewZone, SearchLimit);
  TSiteRef f = plan.Pattern(L"FreeZone", Dcc, Patterns::FreeZone, SearchLimit);
  TSiteRef p = plan.Pattern(L"DescriptorPool", Dcc, Patterns::DescriptorPool, SearchLimit);
  TSiteRef c = plan.Pattern(L"FreeZoneChain", Dcc, Patterns::FreeZoneChain, SearchLimit);
  TSiteRef k = plan.Pattern(L"ContextOf", Dcc, Patterns::ContextOf, SearchLimit);
  TSiteRef u = plan.Pattern(L"UnitOfAddress", Dcc, Patterns::UnitOfAddress, SearchLimit);
  TSiteRef w1 = plan.Pattern(L"InlineSearch1", Dcc, Patterns::InlineSearch1, SearchLimit);
  TSiteRef w2 = plan.Pattern(L"InlineSearch2", Dcc, Patterns::InlineSearch2, SearchLimit);
  TSiteRef n1 = plan.PatternFrom(L"CreateUnit1", k, -0x500, Patterns::CreateUnit1, 0x500);
  TSiteRef w3 = plan.Pattern(L"InlineSearch3", Dcc, Patterns::InlineSearch3, SearchLimit);
  TSiteRef n2 = plan.Pattern(L"CreateUnit2", Dcc, Patterns::CreateUnit2, SearchLimit);

  // The compiler's three context chains: the one G searches, and (our
  // reading of where the others begin) those K walks after it.
  plan.ExpectBytes(k, 0x26, Patterns::ContextOfNextChain);
  plan.ExpectBytes(k, 0x48, Patterns::ContextOfNextChain);
  TCaptureRef chains[3] = {plan.Operand(g, 0x06), plan.Operand(k, 0x28), plan.Operand(k, 0x4A)};
  // Every walk the index replaces searches the chain G searches.
  const struct {
    TSiteRef Site;
    int32_t Offset;
    const wchar_t* What;
  } walks[] = {{k, 0x06, L"ContextOf +0x06: GetUnitOf's context chain"},
               {u, 0x0E, L"UnitOfAddress +0x0E: GetUnitOf's context chain"},
               {w1, 0x08, L"InlineSearch1 +0x08: GetUnitOf's context chain"},
               {w2, 0x14, L"InlineSearch2 +0x14: GetUnitOf's context chain"},
               {w3, 0x0C, L"InlineSearch3 +0x0C: GetUnitOf's context chain"}};
  for (const auto& walk : walks) plan.ExpectEqual(plan.Operand(walk.Site, walk.Offset), chains[0], walk.What);
  TCaptureRef unitList = plan.Operand(g, 0x3C);
  TCaptureRef freeRanges = plan.Operand(f, 0x05);
  TCaptureRef currentContext = plan.Operand(n2, 0x22);
  TCaptureRef create1 = plan.CallTarget(n1, 0x15);
  TCaptureRef create2 = plan.CallTarget(n2, 0x2B);
  // A memory manager in use has 12-byte descriptors out; replacing them
  // takes its descriptor allocator M (not needed otherwise).
  TSiteRef m = plan.OptionalPattern(L"AllocDescriptor", Dcc, Patterns::AllocDescriptor, SearchLimit);
  TCaptureRef used =
      plan.Compute([=](const TPlanValues& v) { return uintptr_t(MemoryManagerUsed(v, chains, freeRanges)); });
  plan.Expect(MemoryManagerInUse, [=](const TPlanValues& v) { return !v.Value(used) || v.Site(m); });

  plan.WriteCode(p, 0x01, [](const TPlanValues&, const uint8_t*) {
    return std::vector<uint8_t>{uint8_t(EnlargedPoolBytes), uint8_t(EnlargedPoolBytes >> 8), 0, 0};
  });
  plan.WriteBytes(p, 0x19, {uint8_t(DccZoneLayout::EnlargedSize)});
  plan.RedirectOrgCall(a, &OnZoneAllocated, reinterpret_cast<void**>(&HostNewZone));
  plan.RedirectOrgCall(f, &OnZoneFreed, reinterpret_cast<void**>(&HostFreeZone));
  plan.Redirect(c, &OnZoneChainFreed);
  plan.WriteJump(k, 0, &FindContextOrNil);
  plan.Redirect(u, &GetUnitOfOrNil);
  plan.WriteBytes(w1, 0x06, "89 F0");  // mov eax,esi
  plan.WriteCall(w1, 0x08, &GetUnitOfOrNil, {0xEB, 0x18});
  plan.WriteBytes(w2, 0x12, "89 F0");
  plan.WriteCall(w2, 0x14, &FindContextOrNil, {0x89, 0xC3, 0xEB, 0x10});  // mov ebx,eax; skip the walk
  plan.RetargetCall(n1, 0x15, &OnUnitCreated1);
  plan.WriteBytes(w3, 0x0A, "89 E8");  // mov eax,ebp
  plan.WriteCall(w3, 0x0C, &FindContextOrNil, {0x89, 0xC3, 0xEB, 0x10});
  plan.RetargetCall(n2, 0x2B, &OnUnitCreated2);
  plan.WriteJump(g, 0, &GetUnitOfAddress, {0x90, 0x90, 0x90, 0x90, 0x90});

  plan.OnCommit([=](const TPlanValues& v) {
    ResetGetUnitOf();
    for (int i = 0; i < 3; ++i) g_contextChains[i] = v.Get<TDccContext**>(chains[i]);
    g_unitListHead = v.Get<TDccUnit**>(unitList);
    g_freeRanges = v.Get<TDccZone**>(freeRanges);
    g_currentContext = v.Get<TDccContext**>(currentContext);
    g_hostCreateUnit1 = v.Get<THostCreateUnit1>(create1);
    g_hostCreateUnit2 = v.Get<THostCreateUnit2>(create2);
    if (uint8_t* allocator = v.Site(m)) {
      g_allocDescriptor = reinterpret_cast<THostAllocDescriptor>(allocator);
      g_freeDescriptors = static_cast<TDccZone**>(ReadPointer(allocator + 1));
    }
    g_convertAtInstall = v.Value(used) != 0;
  });
  plan.OnRollback([] { g_convertAtInstall = false; });
  return plan;
}

TPatchPlan GetUnitOfImportsPlan() {
  TPatchPlan plan(L"Compiler.GetUnitOf.Imports", L"GetUnitOf Import optimization");
  plan.Needs({GetUnitOfName});
  TSiteRef i1 = plan.Pattern(L"SymbolReference", Dcc, Patterns::SymbolReference, NoLimit);
  TSiteRef i2 = plan.Pattern(L"ReferenceOwner", Dcc, Patterns::ReferenceOwner, NoLimit);
  TSiteRef i3 = plan.Pattern(L"DeclaringUnit", Dcc, Patterns::DeclaringUnit, NoLimit);
  TSiteRef i4 = plan.Pattern(L"ResolveKnown", Dcc, Patterns::ResolveKnown, NoLimit);
  TSiteRef i5 = plan.PatternFrom(L"ResolveImports", i4, 0, Patterns::ResolveImports, 0x200);
  TSiteRef i6 = plan.PatternFrom(L"ResolveImportUnit", i5, 0, Patterns::ResolveImportUnit, 0x100);
  const struct {
    TSiteRef Site;
    int32_t Offset;
  } chainOffsets[] = {{i1, 0x12}, {i1, 0x3C}, {i3, 0x3C}, {i4, 0x2B}, {i5, 0x16}, {i6, 0x08}};
  for (const auto& at : chainOffsets) plan.ExpectU32(at.Site, at.Offset, DccUnitLayout::SymbolChains);
  TCaptureRef currentUnit = plan.Operand(i1, 0x0B);
  TCaptureRef unitScope = plan.CallTarget(i1, 0x4C);
  TCaptureRef qualify = plan.CallTarget(i1, 0x58);

  plan.Redirect(i1, &SymbolReferenceReplacement);
  plan.WriteCall(i2, 0x02, &QmReferenceOwnerStub, {0x90});
  std::vector<uint8_t> i3Tail = {0x90, 0x85, 0xF6, 0x74, 0x3A, 0xEB, 0x12};  // test esi,esi; je none; jmp found
  i3Tail.resize(i3Tail.size() + 18, 0x90);
  plan.WriteCall(i3, 0x2A, &QmDeclaringUnitStub, i3Tail);
  std::vector<uint8_t> i5Tail = {0x90, 0x90, 0x85, 0xC9, 0x74, 0x21};  // test ecx,ecx; je not found
  i5Tail.resize(i5Tail.size() + 5, 0x90);
  plan.WriteCall(i5, 0x13, &QmImportNodeStub, i5Tail);
  // I4 and I6 are located, not written. I4's rewrite (E8 r32 90 90 85 D2 74 12
  // 90 90 90 90 at +5) jumps to I4+0x22, inside the six-byte load at +0x1E,
  // and its host call at +0x15 would get other registers than its own path
  // gives it. I6's rewrite at +0x1E ends the chain walk after its first
  // candidate, and the walk's "je +0x22" for an empty chain would land inside
  // the written call. Both places stay the compiler's own code.
  (void)i6;

  plan.OnCommit([=](const TPlanValues& v) {
    g_importsCurrentUnit = v.Get<TDccUnit**>(currentUnit);
    g_unitScope = v.Get<THostUnitScope>(unitScope);
    g_qualify = v.Get<THostQualify>(qualify);
  });
  return plan;
}

void InstallGetUnitOf() {
  TPatchPlan main = GetUnitOfPlan();
  TPlanVerdict verdict = InstallPlanVerdict(main);
  if (verdict.Applies) {
    if (g_convertAtInstall) ConvertExistingContexts();
  } else if (verdict.Registered && verdict.Reason == MemoryManagerInUse) {
    // Listed beside the failed patch, so the about box shows why.
    const wchar_t* const error = L"Compiler.GetUnitOf.MemoryManagerError";
    if (RegisterPatch(error, L"GetUnitOf: Compiler memory manager is already initialized", false))
      SetPatchFailed(error, MemoryManagerInUse);
  }
  TPatchPlan imports = GetUnitOfImportsPlan();
  InstallPlan(imports);
}

namespace {

void InitializeGetUnitOf() { AddWizardInitProc(&InstallGetUnitOf); }

// The framework has put every byte back before the units finalize.
void FinalizeGetUnitOf() { ResetGetUnitOf(); }


std::vector<TPatchPlan> GetUnitOfPlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(GetUnitOfPlan());
  plans.push_back(GetUnitOfImportsPlan());
  return plans;
}

} // namespace

const TUnitInfo Unit_CompilerOptimizationGetUnitOf = {"CompilerOptimizationGetUnitOf", &InitializeGetUnitOf,
                                                      &FinalizeGetUnitOf, &GetUnitOfPlans};

} // namespace Quillmend
