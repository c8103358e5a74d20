#include "Patches/Compiler/CompilerGenInstantiateOpt.h"

#include "Framework/IDEHooks.h"
#include "Framework/LibraryEntry.h"
#include "Patches/Compiler/GenericsPatterns.h"

namespace Quillmend {

TInstantiationCache* InstanceCache1 = nullptr;
TInstantiationCache* InstanceCache2 = nullptr;

namespace {

namespace Patterns = GenericsPatterns;

const wchar_t* const Dcc = L"dcc150.dll";
constexpr int32_t NoLimit = 0;

// Offsets of the compiler's instantiation records.
constexpr uint32_t List1Offset = 0x140;    // in the owner: head of {Next, Record} nodes
constexpr uint32_t List1Record = 0x04;     // in a node
constexpr uint32_t List1Key = 0x18;        // in the record
constexpr uint32_t List1Value = 0x1C;      // in the record
constexpr uint32_t List2Offset = 0x144;    // in the owner
constexpr uint32_t List2Context = 0x08;    // in a node
constexpr uint32_t List2Key = 0x0C;        // in a node: the key record
constexpr uint32_t List2Signature = 0x10;  // in a node
constexpr uint32_t KeySignature = 0x0C;    // in the key record

template <class T>
T Field(const void* record, uint32_t offset) {
  return *reinterpret_cast<const T*>(static_cast<const uint8_t*>(record) + offset);
}

void** NextCell(void* node) { return static_cast<void**>(node); }

void* Key1(const void* node) { return Field<void*>(Field<void*>(node, List1Record), List1Key); }
void* Key2(const void* node) { return Field<void*>(node, List2Key); }

// The compiler's match routines (host register convention; the fourth argument on the stack).
using TMatch1 = uint32_t QM_REGISTER (*)(uint32_t recordKey, uint32_t recordValue, uint32_t key, uint32_t value);
using TMatch2 = uint32_t QM_REGISTER (*)(uint32_t signature, uint32_t matchData, uint32_t keySignature,
                                         uint32_t keySignatureAgain);
using TPurge = void QM_REGISTER (*)(void* owner);

TMatch1 g_match1 = nullptr;
TMatch2 g_match2 = nullptr;
TPurge g_purgeOrg = nullptr;

bool Match1(void* node, uint32_t key, uint32_t value) {
  const void* record = Field<void*>(node, List1Record);
  return g_match1(Field<uint32_t>(record, List1Key), Field<uint32_t>(record, List1Value), key, value) != 0;
}

bool Match2(void* node, void* key, uint32_t context, uint32_t matchData) {
  // (Without a key record the compiler's own loop would read through null.)
  if (!key || Field<uint32_t>(node, List2Context) != context || Key2(node) != key) return false;
  const uint32_t keySignature = Field<uint32_t>(key, KeySignature);
  return g_match2(Field<uint32_t>(node, List2Signature), matchData, keySignature, keySignature) != 0;
}

// The compiler's own walk: the cell of the first node that matches, or the list's last cell.
template <class TMatches>
void** WalkList(void** cell, TMatches&& matches) {
  for (void* node = *cell; node; cell = NextCell(node), node = *cell)
    if (matches(node)) return cell;
  return cell;
}

void DropAll() {
  if (InstanceCache1) InstanceCache1->Drop();
  if (InstanceCache2) InstanceCache2->Drop();
}

void QM_REGISTER OnPurgeInstances(void* owner) {
  DropAll();
  g_purgeOrg(owner);
}

} // namespace

void TInstantiationCache::Drop() {
  if (Index.Count() > 0) Index.Clear();
  Keys.clear();
  Links.clear();
  Owner = nullptr;
  OwnerHead = nullptr;
  LastCell = nullptr;
}

void TInstantiationCache::Synchronise(void* owner) {
  void** head = HeadSlot(owner);
  if (owner != Owner || *head != OwnerHead) {
    Drop();
    Owner = owner;
    OwnerHead = *head;
    LastCell = head;
  }
  void** cell = LastCell;
  void* previousKey = nullptr;
  int32_t previous = -1;
  for (void* node = *cell; node; cell = NextCell(node), node = *cell) {
    void* key = KeyOf(node);
    // Consecutive nodes of one key reuse the key found for the first.
    int32_t entry = previous >= 0 && key == previousKey ? previous : -1;
    if (entry < 0) {
      void* value = nullptr;
      if (Index.TryGetValue(key, value)) {
        entry = int32_t(uintptr_t(value)) - 1;
      } else {
        entry = int32_t(Keys.size());
        Keys.push_back({-1, -1});
        Index.AddOrSetValue(key, reinterpret_cast<void*>(uintptr_t(entry + 1)));
      }
    }
    const int32_t link = int32_t(Links.size());
    Links.push_back({cell, -1});
    TKeyCells& cells = Keys[size_t(entry)];
    if (cells.Last >= 0)
      Links[size_t(cells.Last)].Next = link;
    else
      cells.First = link;
    cells.Last = link;
    previousKey = key;
    previous = entry;
    ++Visited;
  }
  LastCell = cell;
}

int32_t TInstantiationCache::FirstLink(const void* key) const {
  void* value = nullptr;
  return Index.TryGetValue(key, value) ? Keys[size_t(uintptr_t(value)) - 1].First : -1;
}

void** QM_REGISTER FindInstance1(void* owner, uint32_t key, uint32_t value) {
  return HostBoundary([=]() -> void** {
    TInstantiationCache& cache = *InstanceCache1;
    void** head = cache.HeadSlot(owner);
    if (!*head) {
      cache.Drop();
      return head;
    }
    // No key: the compiler's own walk (a node may have a null key too).
    if (!key) return WalkList(head, [=](void* node) { return !Key1(node) && Match1(node, key, value); });
    cache.Synchronise(owner);
    for (int32_t i = cache.FirstLink(reinterpret_cast<void*>(uintptr_t(key))); i >= 0; i = cache.Links[size_t(i)].Next)
      if (Match1(*cache.Links[size_t(i)].Cell, key, value)) return cache.Links[size_t(i)].Cell;
    return cache.LastCell;
  });
}

void** QM_REGISTER FindInstance2(void* owner, void* key, uint32_t context, uint32_t matchData) {
  return HostBoundary([=]() -> void** {
    TInstantiationCache& cache = *InstanceCache2;
    void** head = cache.HeadSlot(owner);
    if (!*head) {
      cache.Drop();
      return head;
    }
    if (!key) return WalkList(head, [=](void* node) { return Match2(node, key, context, matchData); });
    cache.Synchronise(owner);
    for (int32_t i = cache.FirstLink(key); i >= 0; i = cache.Links[size_t(i)].Next)
      if (Match2(*cache.Links[size_t(i)].Cell, key, context, matchData)) return cache.Links[size_t(i)].Cell;
    return cache.LastCell;
  });
}

namespace {

// Called in place of the loops' "add esi,<list offset>": the owner in esi,
// the key in edi; list 1's value in the compiler's local [ebp-8], list 2's
// context in the compiler's [esp] (our [esp+4]) and its match data in ebp.
// Results: esi = the cell, ebx = the node it holds (nil for the end).
// Everything else is kept but the flags.
extern "C" void FindInstance1Stub() asm("QmFindInstance1Stub");
extern "C" void FindInstance2Stub() asm("QmFindInstance2Stub");
asm(".text\n"
    ".balign 16\n"
    "QmFindInstance1Stub:\n"
    "  pushl %eax\n"
    "  pushl %ecx\n"
    "  pushl %edx\n"
    "  movl %esi, %eax\n"
    "  movl %edi, %edx\n"
    "  movl -8(%ebp), %ecx\n"
    "  call QmFindInstance1\n"
    "  jmp QmFindInstanceDone\n"
    ".balign 16\n"
    "QmFindInstance2Stub:\n"
    "  pushl %eax\n"
    "  pushl %ecx\n"
    "  pushl %edx\n"
    "  movl 16(%esp), %ecx\n"
    "  pushl %ebp\n"
    "  movl %esi, %eax\n"
    "  movl %edi, %edx\n"
    "  call QmFindInstance2\n"
    "QmFindInstanceDone:\n"
    "  movl %eax, %esi\n"
    "  movl (%eax), %ebx\n"
    "  popl %edx\n"
    "  popl %ecx\n"
    "  popl %eax\n"
    "  ret\n");

TPatchPlan GenInstantiatePlan() {
  TPatchPlan plan(L"Compiler.Generics.Inst", L"Generics instantiation optimization");
  plan.LoadedModule(Dcc, &GetDccHandle);
  TSiteRef loop1 = plan.Pattern(L"GenericsInstance1", Dcc, Patterns::Instance1, NoLimit);
  TSiteRef purge = plan.Pattern(L"GenericsPurge", Dcc, Patterns::Purge, NoLimit);
  TSiteRef loop2 = plan.Pattern(L"GenericsInstance2", Dcc, Patterns::Instance2, NoLimit);
  plan.ExpectU32(loop1, 0x08, List1Offset);
  plan.ExpectU8(loop1, 0x13, List1Key);
  plan.ExpectU32(loop2, 0x08, List2Offset);
  TCaptureRef match1 = plan.CallTarget(loop1, 0x21);
  TCaptureRef match2 = plan.CallTarget(loop2, 0x2A);
  plan.RedirectOrgCall(purge, &OnPurgeInstances, reinterpret_cast<void**>(&g_purgeOrg));
  // The list-head load becomes the search; the loop's entry jump lands after the loop.
  plan.WriteCall(loop1, 0x06, &FindInstance1Stub, {0x90});
  plan.WriteBytes(loop1, 0x0D, std::vector<uint8_t>{0x26});
  plan.WriteCall(loop2, 0x06, &FindInstance2Stub, {0x90});
  plan.WriteBytes(loop2, 0x0D, std::vector<uint8_t>{0x2F});
  plan.OnCommit([=](const TPlanValues& v) {
    if (!InstanceCache1) InstanceCache1 = new TInstantiationCache(List1Offset, &Key1);
    if (!InstanceCache2) InstanceCache2 = new TInstantiationCache(List2Offset, &Key2);
    g_match1 = v.Get<TMatch1>(match1);
    g_match2 = v.Get<TMatch2>(match2);
  });
  return plan;
}

void InitializeGenInstantiate() { AddWizardInitProc(&InstallGenInstantiate); }

// The framework has put every byte back before the units finalize.
void FinalizeGenInstantiate() {
  delete InstanceCache1;
  delete InstanceCache2;
  InstanceCache1 = InstanceCache2 = nullptr;
}

} // namespace

std::vector<TPatchPlan> GenInstantiatePlans() {
  std::vector<TPatchPlan> plans;
  plans.push_back(GenInstantiatePlan());
  return plans;
}

void InstallGenInstantiate() {
  TPatchPlan plan = GenInstantiatePlan();
  InstallPlan(plan);
}

const TUnitInfo Unit_CompilerGenInstantiateOpt = {"CompilerGenInstantiateOpt", &InitializeGenInstantiate,
                                                  &FinalizeGenInstantiate, &GenInstantiatePlans};

} // namespace Quillmend
