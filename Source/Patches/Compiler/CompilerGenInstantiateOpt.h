// "Compiler.Generics.Inst": the compiler's walks over a unit's two lists of
// generic instantiations (heads at 0x140 and 0x144) answered from an index by
// key, grown as the compiler appends and dropped whenever nodes may have left.
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"
#include "Hooking/PointerHashTable.h"

namespace Quillmend {

// An index of one instantiation list of one owner record: key → the link
// cells (the head slot, or a node's Next) of the nodes with that key, in
// list order. Each key's cells are a chain in one pool, so that indexing and
// dropping allocate nothing per key.
struct TInstantiationCache {
  using TKeyOf = void* (*)(const void* node);
  struct TCellLink {
    void** Cell;
    int32_t Next;  // next link of the same key, -1 ends
  };
  struct TKeyCells {
    int32_t First, Last;
  };

  TInstantiationCache(uint32_t listOffset, TKeyOf keyOf) : ListOffset(listOffset), KeyOf(keyOf) {}

  // Brings the index up to date with `owner`'s list: from scratch for another
  // owner or another head, else from LastCell on.
  void Synchronise(void* owner);
  // The first link of the key's cells (follow Links[i].Next), -1 for none.
  int32_t FirstLink(const void* key) const;
  // Forgets everything (owner, head, last cell, the index).
  void Drop();

  void** HeadSlot(void* owner) const { return reinterpret_cast<void**>(static_cast<uint8_t*>(owner) + ListOffset); }

  const uint32_t ListOffset;
  const TKeyOf KeyOf;
  void* Owner = nullptr;
  void* OwnerHead = nullptr;
  void** LastCell = nullptr;
  TPointerHashTable Index;         // key → its TKeyCells (index + 1)
  std::vector<TKeyCells> Keys;
  std::vector<TCellLink> Links;
  uint64_t Visited = 0;            // nodes indexed so far (for tests: indexing resumes where it stopped)
};

// The caches of the lists at 0x140 and 0x144; null until installed.
extern TInstantiationCache* InstanceCache1;
extern TInstantiationCache* InstanceCache2;

// The answers the stubs give the compiler's loops: the cell of the matching
// node, or the cell where a new one is appended.
void** QM_REGISTER FindInstance1(void* owner, uint32_t key, uint32_t value) asm("QmFindInstance1");
void** QM_REGISTER FindInstance2(void* owner, void* key, uint32_t context, uint32_t matchData)
    asm("QmFindInstance2");

std::vector<TPatchPlan> GenInstantiatePlans();
void InstallGenInstantiate();

extern const TUnitInfo Unit_CompilerGenInstantiateOpt;

} // namespace Quillmend
