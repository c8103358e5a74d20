// A hash table per searched unit for the compiler's symbol lookup: the
// compiler's inner loop over the chain of a name's hash byte asks the unit's
// table for the first symbol of the name, and on each further round for the
// next one; the compiler does everything else (scope walk, qualification)
// with the symbols it is handed.
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"
#include "Hooking/PointerHashTable.h"
#include "Patches/Compiler/DccStructs.h"

namespace Quillmend {

struct TSymHashTableItem {
  uint32_t Hash;                // Utf8HashText of the symbol's name
  TDccSymbol* Symbol;
  TSymHashTableItem* Next;      // next item of the same bucket
};

struct TSymHashTableBucket {
  TSymHashTableItem* First;
  TSymHashTableItem* Last;
};

// The qualifying symbols of one unit (flag 0x40 set, kind not 0x19), in the
// order of the unit's chains, each appended to its bucket; never grows.
class TUnitSymbolHashTable {
public:
  explicit TUnitSymbolHashTable(int32_t capacity);
  // Takes the next item; the caller stays within the capacity.
  void Add(uint32_t hash, TDccSymbol* symbol);
  TSymHashTableBucket& BucketOf(uint32_t hash) { return Buckets[hash % BucketCount]; }

  std::vector<TSymHashTableItem> Items;
  std::vector<TSymHashTableBucket> Buckets;
  int32_t Count = 0;
  uint32_t BucketCount;  // the capacity if odd, else capacity + 1
};

// The compiler's name comparison: 0 when the searched name equals a symbol's.
using TSymbolNameCompare = int32_t QM_REGISTER (*)(const char* name, const char* symbolName);

// Unit record -> its TUnitSymbolHashTable (owned); null before installation.
extern TPointerHashTable* UnitSymbolTables;
// The name pointer hashed last and its hash; cleared at each outer lookup,
// whose name buffer the compiler reuses for the next name.
extern const char* LastLookupName asm("QmLastLookupName");
extern uint32_t LastLookupHash;
// Where the next search of FindNextSymbol starts.
extern TSymHashTableItem* LastFoundItem;
extern TSymbolNameCompare SymbolNameCompare;

// A new table of the unit's qualifying symbols.
TUnitSymbolHashTable* BuildUnitSymbolTable(const TDccUnit* unit);
// The first symbol of the name in the unit (its table built on first use),
// or null; null at once when the unit's chain for the hash byte is empty.
TDccSymbol* QM_REGISTER LookupSymbol(const char* name, uint32_t hashByte, TDccUnit* unit) asm("QmLookupSymbol");
// The next symbol of the last searched name after LastFoundItem, or null.
TDccSymbol* QM_REGISTER FindNextSymbol() asm("QmFindNextSymbol");
// Frees every table (the map keeps room for 16).
void ResetSymbolTables();
// The compiler released a unit: its table goes, then the previous handler is told.
void ReleaseUnitSymbolTable(void* unit);

TPatchPlan SymLookupPlan();
void InstallSymLookupHash();
// Frees every table and the map and unchains the release handler.
void FinalizeSymLookupHash();

extern const TUnitInfo Unit_SymLookupHash;

} // namespace Quillmend
