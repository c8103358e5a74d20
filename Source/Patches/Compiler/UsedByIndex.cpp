#include "Patches/Compiler/UsedByIndex.h"

#include <algorithm>
#include <new>

#include "Patches/Compiler/CompilerOptimization.h"
#include "Patches/Compiler/UnitNameHash.h"

namespace Quillmend {

TUsedUnitsBucketList UsedByIndex;

namespace {

constexpr uint8_t StateRecompile = 4;

inline bool IsCompiledState(uint8_t state) { return state == 7 || state == 8; }

} // namespace

int32_t TUsedUnitsBucketList::FindEntry(const TDccUnit* unit) const {
  return FindUnitItem(Entries, Buckets, BucketCount, unit);
}

int32_t TUsedUnitsBucketList::AddEntry(TDccUnit* unit) {
  return AppendToChains(Entries, Buckets, BucketCount, Count, TUsedUnitsEntry{-1, unit, nullptr},
                        TUnitPointerBucket());
}

TUsedByUnitItem* TUsedUnitsBucketList::NewItem() {
  if (PoolUsed == UsedByPoolBlockItems) {
    TUsedByPoolBlock* block = PoolTail->Next;
    if (!block) {
      block = static_cast<TUsedByPoolBlock*>(::operator new(sizeof(TUsedByPoolBlock)));
      block->Next = nullptr;
      PoolTail->Next = block;
    }
    PoolTail = block;
    PoolUsed = 0;
  }
  return &PoolTail->Items[PoolUsed++];
}

bool TUsedUnitsBucketList::Build() {
  Free();
  try {
    UnitCount = 0;
    for (TDccUnit* unit = *UnitListHead; unit; unit = unit->Next) ++UnitCount;
    int32_t capacity = std::max<int32_t>(UnitCount, 16);
    InitChains(Entries, Buckets, BucketCount, capacity);
    Visited.Init(capacity);
    FlaggedUnits.reserve(size_t(UnitCount));
    PoolTail = &FirstBlock;
    PoolUsed = 0;
    for (TDccUnit* unit = *UnitListHead; unit; unit = unit->Next) {
      for (TDccImport* node = unit->Imports; node; node = node->Next) {
        if (!node->Unit) continue;
        int32_t entry = FindEntry(node->Unit);
        if (entry == -1) entry = AddEntry(node->Unit);
        TUsedByUnitItem* item = NewItem();
        item->Importer = unit;
        item->ImportNode = node;
        item->Next = Entries[size_t(entry)].First;
        Entries[size_t(entry)].First = item;
      }
      if ((unit->Flags & 0x6000) == 0x6000 && unit->UnitSymbol) FlaggedUnits.push_back(unit);
    }
    FlaggedCount = int32_t(FlaggedUnits.size());
  } catch (...) {
    Free();
    throw;
  }
  return UnitCount > 0;
}

void TUsedUnitsBucketList::Free() {
  TUsedByPoolBlock* block = FirstBlock.Next;
  while (block) {
    TUsedByPoolBlock* next = block->Next;
    ::operator delete(block);
    block = next;
  }
  FirstBlock.Next = nullptr;
  PoolTail = nullptr;
  PoolUsed = 0;
  ReleaseChains(Entries, Buckets, BucketCount);
  Count = 0;
  FlaggedUnits.clear();
  FlaggedUnits.shrink_to_fit();
  FlaggedCount = 0;
  Visited = TUnitHashSet();
  UnitCount = 0;
}

// Cuts the links from one record of a further list to X.
void TUsedUnitsBucketList::CutLinks(TDccUnit* record, TDccUnit* x, std::vector<TDccUnit*>& work) {
  for (TDccImport* node = record->Imports; node; node = node->Next) {
    if (node->Unit != x) continue;
    node->Unit = nullptr;
    node->Flags |= 1;
    if (IsCompiledState(record->State)) {
      record->State = StateRecompile;
      work.push_back(record);
    }
  }
}

// Works through an explicit stack instead of recursing, so that a long chain
// of importers cannot exhaust the compiler thread's stack. The order of the
// changes differs from a recursive walk; the resulting links and states do not.
void TUsedUnitsBucketList::MarkUnit(TDccUnit* x) {
  std::vector<TDccUnit*> work{x};
  while (!work.empty()) {
    TDccUnit* unit = work.back();
    work.pop_back();
    if (!Visited.Add(unit)) continue;
    int32_t entry = FindEntry(unit);
    if (entry != -1) {
      TUsedUnitsEntry& e = Entries[size_t(entry)];
      // The key is cleared so that the entry is found no more.
      e.Unit = nullptr;
      for (TUsedByUnitItem* item = e.First; item; item = item->Next) {
        // The compiler's own unlinking loop passes over a unit whose field
        // 0x160 is set, links and state untouched; so does this one.
        if (item->Importer->UnlinkGuard != 0) continue;
        item->ImportNode->Unit = nullptr;
        item->ImportNode->Flags |= 1;
        if (IsCompiledState(item->Importer->State)) {
          item->Importer->State = StateRecompile;
          work.push_back(item->Importer);
        }
      }
    }
    if (FurtherList1Head)
      for (TDccRecordNode* node = *FurtherList1Head; node; node = node->Next)
        if (node->Record) CutLinks(node->Record, unit, work);
    if (FurtherList2Head)
      for (TDccRecordGroup* group = *FurtherList2Head; group; group = group->Next)
        for (TDccRecordNode* node = group->Chain; node; node = node->Next)
          if (node->Record) CutLinks(node->Record, unit, work);
  }
}

void TUsedUnitsBucketList::ClearSameNamedFlag() {
  if (FlaggedCount == 0) return;
  // Marked units by name hash: equal names (ignoring ASCII case) hash alike,
  // so only units of equal hash need the compiler's name comparison.
  std::vector<std::pair<uint32_t, TDccUnit*>> marked;
  Visited.ForEach([&marked](void* p) {
    TDccUnit* unit = static_cast<TDccUnit*>(p);
    if (unit->UnitSymbol) marked.emplace_back(UnitNameHash(unit->UnitSymbol->Name), unit);
  });
  std::sort(marked.begin(), marked.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  for (TDccUnit* flagged : FlaggedUnits) {
    TDccSymbol* symbol = flagged->UnitSymbol;
    uint32_t hash = UnitNameHash(symbol->Name);
    auto it = std::lower_bound(marked.begin(), marked.end(), hash,
                               [](const auto& item, uint32_t h) { return item.first < h; });
    for (; it != marked.end() && it->first == hash; ++it) {
      TDccSymbol* other = it->second->UnitSymbol;
      if (other->Byte2 == symbol->Byte2 && HostNameCompare(other->Name, symbol->Name) == 0) {
        flagged->Flags &= ~0x4000;
        break;
      }
    }
  }
}

} // namespace Quillmend
