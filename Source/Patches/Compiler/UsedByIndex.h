// The reverse index of the compiler's unit imports ("which units import X"),
// built for one unlinking or reset call and freed right after it, and the
// transitive unlinking that runs over it.
#pragma once

#include <cstdint>
#include <vector>

#include "Patches/Compiler/DccStructs.h"
#include "Patches/Compiler/UnitHashSet.h"

namespace Quillmend {

struct TUsedByUnitItem {
  TUsedByUnitItem* Next;    // next importer of the same unit
  TDccUnit* Importer;       // unit that imports the key
  TDccImport* ImportNode;   // the importer's node that points to the key
};
static_assert(sizeof(TUsedByUnitItem) == 12, "used-by item is 12 bytes");

constexpr int32_t UsedByPoolBlockItems = 4096;

struct TUsedByPoolBlock {
  TUsedByPoolBlock* Next;
  TUsedByUnitItem Items[UsedByPoolBlockItems];
};
static_assert(sizeof(TUsedByPoolBlock) == 49156, "pool block: link and 4096 items");

struct TUsedUnitsEntry {
  int32_t Next;              // next entry of the bucket, -1 ends
  TDccUnit* Unit;            // the imported unit (key); null once it was marked
  TUsedByUnitItem* First;    // its importers
};

class TUsedUnitsBucketList {
public:
  int32_t Count = 0;
  int32_t BucketCount = 0;
  std::vector<TUsedUnitsEntry> Entries;
  std::vector<int32_t> Buckets;
  TUsedByPoolBlock FirstBlock{};   // further blocks are allocated on demand
  TUsedByPoolBlock* PoolTail = nullptr;
  int32_t PoolUsed = 0;
  std::vector<TDccUnit*> FlaggedUnits;
  int32_t FlaggedCount = 0;
  TUnitHashSet Visited;
  int32_t UnitCount = 0;

  TUsedUnitsBucketList() = default;
  TUsedUnitsBucketList(const TUsedUnitsBucketList&) = delete;
  TUsedUnitsBucketList& operator=(const TUsedUnitsBucketList&) = delete;
  ~TUsedUnitsBucketList() { Free(); }

  // Indexes every import of every unit on the compiler's list and notes the
  // units flagged 0x2000|0x4000 that have a unit symbol. False when the list
  // is empty (the tables are ready all the same). Frees itself and passes the
  // error on if anything raises.
  bool Build();
  void Free();
  // Cuts every link to X, and transitively to every importer that drops from
  // a compiled state (7, 8) to 4; also for the records of the two further lists.
  void MarkUnit(TDccUnit* x);
  // Clears 0x4000 of each flagged unit that has a same-named unit (same byte 2
  // of the unit symbol) among the marked ones.
  void ClearSameNamedFlag();

private:
  int32_t FindEntry(const TDccUnit* unit) const;
  int32_t AddEntry(TDccUnit* unit);
  TUsedByUnitItem* NewItem();
  void CutLinks(TDccUnit* record, TDccUnit* x, std::vector<TDccUnit*>& work);
};

// The one index; exists only during one unlinking or reset call.
extern TUsedUnitsBucketList UsedByIndex;

// Frees the index when the scope ends, also on error.
class TUsedByIndexScope {
public:
  TUsedByIndexScope() = default;
  ~TUsedByIndexScope() { UsedByIndex.Free(); }
  TUsedByIndexScope(const TUsedByIndexScope&) = delete;
  TUsedByIndexScope& operator=(const TUsedByIndexScope&) = delete;
};

} // namespace Quillmend
