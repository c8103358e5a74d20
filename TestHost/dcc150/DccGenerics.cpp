// The stand-in compiler's generics in C++: what the routines of
// DccGenerics.S call (the match routines, new instantiations, the purge, the
// linker's slow allocation path, its zeroed table, a symbol's generic key),
// and the generics driver (DccGenericsDriver.h): the "generics" workload's
// instantiation uses and link, and their checksum.
#include "DccGenerics.h"
#include "DccGenericsDriver.h"
#include "DccHost.h"
#include "DccMemory.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <type_traits>
#include <vector>
#include <windows.h>

using namespace Dcc;

#define DCC_EXPORT extern "C"

namespace {

struct TRandom {
  uint32_t State;
  uint32_t Next() {
    State = State * 1664525u + 1013904223u;
    return State >> 8;
  }
  uint32_t Below(uint32_t n) { return Next() % n; }
};

uint32_t Mix(uint32_t h, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    h ^= (value >> (8 * i)) & 0xFF;
    h *= 16777619u;
  }
  return h;
}

uint32_t g_serial = 0;      // creation numbers of instantiations
uint32_t g_matchCalls = 0;
uint32_t g_sum = 0;         // results of the uses and the link so far

// The linker's blocks (freed at reset) and its match table.
constexpr uint32_t LinkerBlockSize = 0x10000;
std::vector<void*> g_linkerBlocks;

TInstanceNode1*& Head1(TUnit* unit) {
  return *reinterpret_cast<TInstanceNode1**>(reinterpret_cast<uint8_t*>(unit) + UnitInstances1);
}
TInstanceNode2*& Head2(TUnit* unit) {
  return *reinterpret_cast<TInstanceNode2**>(reinterpret_cast<uint8_t*>(unit) + UnitInstances2);
}
uint8_t*& StateOf(TUnit* unit) { return *reinterpret_cast<uint8_t**>(reinterpret_cast<uint8_t*>(unit) + UnitGenericsState); }

// ---- the prepared work --------------------------------------------------------------------

struct TUse {
  uint8_t Owner;      // index into g_owners
  uint8_t List;       // 1 or 2; 0: purge the owner's temporary instantiations; 3: redeclare Key
  uint32_t Key;       // list 1: the key; list 2 and 3: index into g_keys
  uint32_t Value;     // list 1: the value; list 2: the context
};
std::vector<TUnit*> g_owners;
std::vector<TGenericKey*> g_keys;
std::vector<TUse> g_uses;
std::vector<TLinkType*> g_linkTypes;
std::vector<TLinkSymbol*> g_linkSymbols;
std::vector<TMatchEntry*> g_symbolEntries;  // per symbol of the last link, the entry it matched
uint32_t g_pass1 = 0;                       // what the first pass resolved, when asked to keep it

void FreeInstances(TUnit* owner) {
  for (TInstanceNode1* node = Head1(owner); node;) {
    TInstanceNode1* next = node->Next;
    DccFree(node->Record);
    DccFree(node);
    node = next;
  }
  for (TInstanceNode2* node = Head2(owner); node;) {
    TInstanceNode2* next = node->Next;
    DccFree(node);
    node = next;
  }
  Head1(owner) = nullptr;
  Head2(owner) = nullptr;
}

void FreeLink() {
  for (void* block : g_linkerBlocks) std::free(block);
  g_linkerBlocks.clear();
  // No block yet: current = limit, so the first allocation takes the slow path.
  static uint8_t noBlock;
  DccLinkerCurrent = DccLinkerLimit = &noBlock;
  std::free(DccLinkerMatchTable);
  DccLinkerMatchTable = nullptr;
}

} // namespace

extern "C" {

int QM_HOST_REGISTER HostMatchInstance1(uint32_t, uint32_t recordValue, uint32_t, uint32_t value) {
  ++g_matchCalls;
  return recordValue == value;
}

TInstanceNode1* QM_HOST_REGISTER HostNewInstance1(TInstanceNode1** cell, uint32_t key, uint32_t value) {
  auto* record = static_cast<TInstanceRecord*>(DccAlloc(sizeof(TInstanceRecord)));
  record->Flags = (value & TemporaryBit) ? 1 : 0;
  record->Serial = ++g_serial;
  record->Key = key;
  record->Value = value;
  auto* node = static_cast<TInstanceNode1*>(DccAlloc(sizeof(TInstanceNode1)));
  node->Record = record;
  *cell = node;
  return node;
}

int QM_HOST_REGISTER HostMatchInstance2(uint32_t signature, uint32_t, uint32_t keySignature, uint32_t) {
  ++g_matchCalls;
  return signature == keySignature;
}

TInstanceNode2* QM_HOST_REGISTER HostNewInstance2(TInstanceNode2** cell, TGenericKey* key, uint32_t context,
                                                  uint32_t) {
  auto* node = static_cast<TInstanceNode2*>(DccAlloc(sizeof(TInstanceNode2)));
  node->Flags = (context & TemporaryBit) ? 1 : 0;
  node->Context = context;
  node->KeyRecord = key;
  node->Signature = key->Signature;
  node->Serial = ++g_serial;
  *cell = node;
  return node;
}

// Unlinks and releases the temporary instantiations of both lists.
void QM_HOST_REGISTER HostPurgeInstances(TUnit* unit) {
  for (TInstanceNode1** link = &Head1(unit); *link;) {
    TInstanceNode1* node = *link;
    if (!(node->Record->Flags & 1)) {
      link = &node->Next;
      continue;
    }
    *link = node->Next;
    std::memset(node->Record, 0xDD, sizeof(TInstanceRecord));
    DccFree(node->Record);
    std::memset(node, 0xDD, sizeof(TInstanceNode1));
    DccFree(node);
  }
  for (TInstanceNode2** link = &Head2(unit); *link;) {
    TInstanceNode2* node = *link;
    if (!(node->Flags & 1)) {
      link = &node->Next;
      continue;
    }
    *link = node->Next;
    std::memset(node, 0xDD, sizeof(TInstanceNode2));
    DccFree(node);
  }
}

void __cdecl HostLinkerAssert(const char*, const char*, int) {
  ULONG_PTR params[7] = {};
  params[0] = reinterpret_cast<ULONG_PTR>(__builtin_return_address(0));
  RaiseException(0x0EEDFADE, EXCEPTION_NONCONTINUABLE, 7, params);
}

// A new block (a larger one of its own for a large request), counted down from its end.
void* QM_HOST_REGISTER HostLinkerAllocSlow(uint32_t size) {
  const uint32_t blockSize = size > LinkerBlockSize / 4 ? size : LinkerBlockSize;
  auto* block = static_cast<uint8_t*>(std::calloc(1, blockSize));
  if (!block) std::abort();
  g_linkerBlocks.push_back(block);
  if (blockSize != LinkerBlockSize) return block;
  DccLinkerLimit = block;
  DccLinkerCurrent = block + blockSize - size;
  return DccLinkerCurrent;
}

void* QM_HOST_REGISTER HostLinkerZeroAlloc(uint32_t size) {
  std::free(DccLinkerMatchTable);
  void* table = std::calloc(1, size);
  if (!table) std::abort();
  return table;
}

uint32_t QM_HOST_REGISTER HostGenericKey(TLinkSymbol* symbol) { return uint32_t(uintptr_t(symbol->Key)); }

} // extern "C"

// ---- the generics driver ------------------------------------------------------------------

DCC_EXPORT void __stdcall DccGenericsReset() {
  for (TUnit* owner : g_owners) {
    FreeInstances(owner);
    DccFree(StateOf(owner));
    FreeUnitRecord(owner);
  }
  g_owners.clear();
  for (TGenericKey* key : g_keys) DccFree(key);
  g_keys.clear();
  g_uses.clear();
  for (TLinkSymbol* symbol : g_linkSymbols) DccFree(symbol);
  g_linkSymbols.clear();
  for (TLinkType* type : g_linkTypes) DccFree(type);
  g_linkTypes.clear();
  g_symbolEntries.clear();
  g_pass1 = 0;
  FreeLink();
  DccGenericOwner = nullptr;
  g_serial = 0;
  g_sum = 0;
}

// A unit record (on no list) with empty instantiation lists and generics state 1 (current).
DCC_EXPORT TUnit* __stdcall DccNewGenericOwner() {
  char name[32];
  std::snprintf(name, sizeof name, "Generic.Owner%u", unsigned(g_owners.size()));
  TUnit* owner = NewUnitRecord(name, 300000 + uint32_t(g_owners.size()));
  StateOf(owner) = static_cast<uint8_t*>(DccAlloc(4));
  *StateOf(owner) = 1;
  g_owners.push_back(owner);
  return owner;
}

DCC_EXPORT void __stdcall DccSetGenericsState(TUnit* owner, int kind) { *StateOf(owner) = uint8_t(kind); }

DCC_EXPORT TGenericKey* __stdcall DccNewGenericKey(uint32_t signature) {
  auto* key = static_cast<TGenericKey*>(DccAlloc(sizeof(TGenericKey)));
  key->Serial = uint32_t(g_keys.size());
  key->Signature = signature;
  g_keys.push_back(key);
  return key;
}

DCC_EXPORT TLinkType* __stdcall DccNewLinkType(uint32_t address) {
  auto* type = static_cast<TLinkType*>(DccAlloc(sizeof(TLinkType)));
  type->Serial = uint32_t(g_linkTypes.size());
  type->Address = address;
  g_linkTypes.push_back(type);
  return type;
}

DCC_EXPORT TLinkSymbol* __stdcall DccNewLinkSymbol(const char* name, TLinkType* type, uint32_t address) {
  auto* symbol = static_cast<TLinkSymbol*>(DccAlloc(offsetof(TLinkSymbol, Name) + std::strlen(name) + 1));
  symbol->Kind = 0x05;
  symbol->Byte2 = uint8_t(HostNameHashByte(name));
  symbol->Address = address;
  symbol->Key = type;
  symbol->Serial = uint32_t(g_linkSymbols.size());
  std::strcpy(symbol->Name, name);
  g_linkSymbols.push_back(symbol);
  return symbol;
}

DCC_EXPORT uint32_t __stdcall DccGenericMatchCalls() { return g_matchCalls; }

// Two owners, switched every 8192 uses; `uses / perType` generic types; a use
// takes an instantiation made before with `foundPercent` chance (else new
// arguments, one in ten of them temporary); one use in 400 of the first list
// has no key; every 4096 uses the owner's temporary instantiations are
// purged, every 3000 a generic type of the second list is redeclared.
DCC_EXPORT void __stdcall DccPrepareGenericUses(int uses, int perType, int foundPercent, uint32_t randomSeed) {
  DccGenericsReset();
  TRandom random{randomSeed};
  for (int i = 0; i < 2; ++i) DccNewGenericOwner();
  const uint32_t types = uint32_t(uses / (perType > 0 ? perType : 1)) + 1;
  for (uint32_t t = 0; t < types; ++t) DccNewGenericKey(0x5000 + t);
  std::map<uint64_t, std::vector<uint32_t>> made;  // (owner, list, type) → values used so far
  uint32_t fresh = 1;
  for (int i = 0; i < uses; ++i) {
    TUse use{};
    use.Owner = uint8_t((i / 8192) % 2);
    if (i > 0 && i % 4096 == 0) g_uses.push_back({use.Owner, 0, 0, 0});
    if (i > 0 && i % 3000 == 0) g_uses.push_back({use.Owner, 3, random.Below(types), 0});
    use.List = uint8_t(1 + i % 2);
    const uint32_t type = random.Below(types);
    use.Key = use.List == 1 ? 0x1000 + type : type;
    if (use.List == 1 && random.Below(400) == 0) use.Key = 0;
    std::vector<uint32_t>& values = made[(uint64_t(use.Owner) << 40) | (uint64_t(use.List) << 32) | use.Key];
    if (!values.empty() && random.Below(100) < uint32_t(foundPercent)) {
      use.Value = values[random.Below(uint32_t(values.size()))];
    } else {
      use.Value = fresh++ | (random.Below(10) == 0 ? TemporaryBit : 0);
      values.push_back(use.Value);
    }
    g_uses.push_back(use);
  }
}

DCC_EXPORT int __stdcall DccRunGenericUses() {
  int found = 0;
  for (const TUse& use : g_uses) {
    TUnit* owner = g_owners[use.Owner];
    DccGenericOwner = owner;
    const uint32_t before = g_serial;
    uint32_t serial = 0;
    switch (use.List) {
      case 0:
        *StateOf(owner) = 6;
        DccPurgeInstances(owner);
        *StateOf(owner) = 1;
        continue;
      case 3:
        g_keys[use.Key]->Signature += 0x10000;
        continue;
      case 1:
        serial = DccFindInstance1(use.Key, use.Value)->Record->Serial;
        break;
      default:
        serial = DccFindInstance2(g_keys[use.Key], use.Value, use.Owner)->Serial;
        break;
    }
    found += serial <= before;
    g_sum = Mix(g_sum, serial);
  }
  return found;
}

// Generic symbols "GenNNNNN.TList<TNNNN>.Item<k>" of `symbols / 10` generic
// types; three in ten repeat an earlier symbol's name and type.
DCC_EXPORT void __stdcall DccPrepareLink(int symbols, uint32_t randomSeed) {
  g_symbolEntries.clear();
  for (TLinkSymbol* symbol : g_linkSymbols) DccFree(symbol);
  g_linkSymbols.clear();
  for (TLinkType* type : g_linkTypes) DccFree(type);
  g_linkTypes.clear();
  TRandom random{randomSeed};
  const uint32_t types = uint32_t(symbols / 10) + 1;
  for (uint32_t t = 0; t < types; ++t) DccNewLinkType(0x400000 + t * 0x40);
  std::vector<std::pair<std::string, uint32_t>> made;
  char name[64];
  for (int i = 0; i < symbols; ++i) {
    if (!made.empty() && random.Below(10) < 3) {
      const auto& earlier = made[random.Below(uint32_t(made.size()))];
      DccNewLinkSymbol(earlier.first.c_str(), g_linkTypes[earlier.second], 0x800000 + uint32_t(i) * 8);
      continue;
    }
    const uint32_t type = random.Below(types);
    std::snprintf(name, sizeof name, "Gen%05u.TList<T%04u>.Item%u", unsigned(i), unsigned(type), unsigned(i % 7));
    made.push_back({name, type});
    DccNewLinkSymbol(name, g_linkTypes[type], 0x800000 + uint32_t(i) * 8);
  }
}

// A new match table, every symbol matched, both passes; with `checkEachPass`
// what the first pass resolved is summed before the second runs. Returns the
// number of distinct entries.
DCC_EXPORT int __stdcall DccRunLink(int checkEachPass) {
  FreeLink();
  g_symbolEntries.assign(g_linkSymbols.size(), nullptr);
  DccLinkerNewMatchTable();
  int entries = 0;
  for (size_t i = 0; i < g_linkSymbols.size(); ++i) {
    TMatchEntry* entry = DccLinkerMatch(g_linkSymbols[i]);
    g_symbolEntries[i] = entry;
    entries += entry->Symbol == g_linkSymbols[i];
  }
  DccLinkerResolve1();
  g_pass1 = 0;
  if (checkEachPass)
    for (size_t i = 0; i < g_linkSymbols.size(); ++i) g_pass1 += Mix(uint32_t(i), g_symbolEntries[i]->Resolved);
  DccLinkerResolve2();
  return entries;
}

// The uses' answers, then per symbol of the last link the symbol its entry
// holds and what it resolved to.
DCC_EXPORT uint32_t __stdcall DccGenericsChecksum() {
  uint32_t h = Mix(Mix(g_sum, g_serial), g_pass1);
  for (TMatchEntry* entry : g_symbolEntries) h = Mix(Mix(h, entry->Symbol->Serial), entry->Resolved);
  return h;
}

// ---- the definitions agree with the driver header ------------------------------------------

namespace {

using Declared = DccGenericsDriver::Driver<void>;

template <class Defined, class InHeader>
constexpr bool Agrees(Defined, InHeader) {
  return std::is_same_v<Defined, InHeader>;
}

static_assert(Agrees(&DccPrepareGenericUses, Declared::PrepareUsesFn()) &&
                  Agrees(&DccRunGenericUses, Declared::RunUsesFn()) && Agrees(&DccPrepareLink, Declared::PrepareLinkFn()) &&
                  Agrees(&DccRunLink, Declared::RunLinkFn()) && Agrees(&DccGenericsChecksum, Declared::ChecksumFn()) &&
                  Agrees(&DccGenericsReset, Declared::ResetFn()) && Agrees(&DccGenericMatchCalls, Declared::MatchCallsFn()),
              "generics driver exports differ from DccGenericsDriver.h");

} // namespace
