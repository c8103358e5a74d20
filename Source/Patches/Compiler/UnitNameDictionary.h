// The persistent index from unit name to the compiler's unit record, kept in
// step with the compiler's list operations (append, chain append, remove,
// release) and rebuilt from the list when it cannot be kept in step.
#pragma once

#include <cstdint>
#include <vector>

#include "Hooking/PointerHashTable.h"
#include "Patches/Compiler/DccStructs.h"
#include "Patches/Compiler/UnitHashSet.h"

namespace Quillmend {

struct TUnitNameDictionaryItem {
  int32_t Next;    // next item of the bucket, -1 ends
  uint32_t Hash;   // UnitNameHash of the unit's name
  TDccUnit* Unit;
};

class TUnitNameDictionary {
public:
  std::vector<TUnitNameDictionaryItem> Items;
  std::vector<int32_t> Buckets;
  TUnitHashSet Pending;          // appended since the last synchronisation
  TDccUnit* ListHead = nullptr;  // list head at the last (re)build
  int32_t BucketCount = 0;
  int32_t Count = 0;
  bool Valid = false;
  TDccUnit* LastRemoved = nullptr;

  // Units met without a unit symbol; added once they have one, so that a unit
  // named late is not lost.
  TUnitHashSet Deferred;
  // Units left out because an earlier unit has their name; while there are
  // any, dropping an indexed unit forces a rebuild (the next of the name may
  // be on the list).
  int32_t Shadowed = 0;
  // Item of each indexed unit (index + 1), so that a unit leaves the index
  // without its record being read.
  TPointerHashTable Indexed;
  uint32_t RebuildCount = 0;

  void Reset();
  void Rebuild();
  // Brings the index up to date with the list whose head is `head`.
  void Synchronise(TDccUnit* head);
  // Unit of that name, first in list order; null if none.
  TDccUnit* Lookup(const char* name);
  int32_t Find(uint32_t hash, const char* name) const;

  // The compiler linked a unit at the tail.
  void UnitAppended(TDccUnit* unit);
  // The compiler unlinked (or released) a unit. Its record is not read.
  void UnitRemoved(TDccUnit* unit);

private:
  void Add(TDccUnit* unit);
  void Drop(TDccUnit* unit);
  void ReleaseItems();
};

extern TUnitNameDictionary UnitNameDictionary;

} // namespace Quillmend
