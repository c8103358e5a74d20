// The index of one package list: its packages by name and the units they
// contain by name, both hashed with Utf8HashText and compared with the
// compiler's own name comparison. Packages are added as the compiler loads
// them and indexed lazily: a package's units enter the unit table at the
// first unit query after it was added (its slot waits on the pending list).
//
// A unit name contained in several packages is indexed under the first
// package (in list order) only; the others are counted as shadowed. While any
// are, dropping a package's units would lose names that another package still
// holds, so the lookup is then rebuilt from the list at its next use.
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/HostAbi.h"
#include "Patches/Compiler/DccPackageStructs.h"

namespace Quillmend {

// The compiler's name comparison (host register convention), 0 when equal.
using TPackageNameCompare = int32_t QM_REGISTER (*)(const char* a, const char* b);

struct TPackageLookupItem {
  int32_t Next = -1;         // bucket chain, or the free list; -1 ends
  uint32_t Hash = 0;
  TDccPackage* Package = nullptr;
  uint8_t Indexed = 0;       // its units are in the unit table
  int32_t PendingNext = -1;  // next slot waiting for its units to be indexed, -1 ends
  bool Pending = false;      // on the pending list
};

struct TPackageUnitSlot {
  int32_t Next = -1;
  uint32_t Hash = 0;
  TDccPackage* Package = nullptr;
  TDccPackageUnit* UnitNode = nullptr;
  int32_t Shadows = 0;  // nodes of the same name left out for this one (a hint: not lowered on removal)
};

class TPackageLookup {
public:
  explicit TPackageLookup(TPackageNameCompare compare) : FCompare(compare) {}

  // Adds every package of the list starting at `head`, in order.
  void Build(TDccPackage* head);
  // Ignored for null or a package whose name is present.
  void AddPackage(TDccPackage* package);
  // The package of that name (a leading '.' is the caller's business).
  TDccPackage* FindPackage(const char* name) const;
  // The package leaves: its slot and its unit slots.
  void RemovePackage(TDccPackage* package);
  // The unit's slot, first package in list order that is not being unloaded;
  // null if none. Unless `skipRefresh`, the pending packages are indexed
  // first. Rebuilds from the list when shadowed names were dropped.
  const TPackageUnitSlot* FindUnitEntry(const char* name, bool skipRefresh = false);

  // Whether the lookup must be rebuilt from the list before its next use.
  bool Stale() const { return FStale; }
  int32_t PackageCount() const { return FPackageCount; }
  int32_t UnitCount() const { return FUnitCount; }
  int32_t Shadowed() const { return FShadowed; }
  uint32_t RebuildCount() const { return FRebuildCount; }
  // Unit slots added since the lookup was made (for tests: indexing is incremental).
  uint64_t UnitsIndexed() const { return FUnitsIndexed; }
  // The list head the lookup is kept for (for a rebuild).
  TDccPackage* ListHead = nullptr;

private:
  int32_t FindPackageSlot(uint32_t hash, const char* name) const;
  int32_t FindUnitSlot(uint32_t hash, const char* name) const;
  void AddPending(int32_t slot);
  void RefreshPending();
  void IndexUnits(TDccPackage* package);
  void RemoveUnitsOf(const TDccPackage* package);
  void GrowPackages();
  void GrowUnits();
  void Clear();
  void Rebuild();

  TPackageNameCompare FCompare;
  std::vector<TPackageLookupItem> FPackages;
  std::vector<int32_t> FPackageBuckets;
  int32_t FPackageFree = -1;
  int32_t FPackageCount = 0;
  int32_t FPendingHead = -1;
  int32_t FPendingTail = -1;
  std::vector<TPackageUnitSlot> FUnits;
  std::vector<int32_t> FUnitBuckets;
  int32_t FUnitFree = -1;
  int32_t FUnitCount = 0;
  int32_t FShadowed = 0;
  bool FStale = false;
  uint32_t FRebuildCount = 0;
  uint64_t FUnitsIndexed = 0;
};

} // namespace Quillmend
