// "Compiler.RootTypeUnitList": the compiler enters every type of the units
// it lists into the list of its root type unless a type of that name is
// there already, and finds out by walking the list each time (quadratic in
// a list's length). For the duration of each call of that routine a set of
// the names per list answers the question; the sets learn the nodes the
// compiler appends meanwhile. Installed at the expert entry.
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"
#include "Hooking/GenericPointerSet.h"

namespace Quillmend {

namespace RootTypeUnitListPatterns {
// R, the routine that makes the root-type unit list.
inline constexpr const char* UnitList =
    "53 56 57 55 83 C4 F8 89 04 24 33 C0 89 44 24 04 83 3C 24 00 0F 84 ?? 00 00 00 8B 14 24 8B 4A 04 8B B1 80 00 "
    "00 00 83 C6 1E 56 E8 ?? ?? ?? ?? 59 8B C8 8D 44 24 04 8B D6 E8 ?? ?? ?? ?? 8B F8";
// C, within this many bytes after R: +0 the call answering a root's list,
// +0x1A the name comparison, +0x27 the jump back to the next node.
inline constexpr int32_t SearchWindow = 0x100;
inline constexpr const char* Search =
    "E8 ?? ?? ?? ?? 8B E8 8B 75 04 85 F6 74 1B 8D 53 1E 8B 46 04 8B 40 0C 83 C0 1E E8 ?? ?? ?? ?? 85 C0 74 1C 8B "
    "36 85 F6 75 E5";
inline constexpr int32_t ListCall = 0x00;
inline constexpr int32_t CompareCall = 0x1A;
inline constexpr int32_t LoopBack = 0x27;
} // namespace RootTypeUnitListPatterns

// The host's list of a root type: first node at 0x04, last at 0x08; a node
// {Next, item}, the item's symbol at 0x0C, the symbol's name at 0x1E.
struct TRootTypeNode {
  TRootTypeNode* Next;
  uint8_t* Item;
};
struct TRootTypeList {
  uint32_t Host0;
  TRootTypeNode* First;
  TRootTypeNode* Last;
};
const char* RootTypeNodeName(const TRootTypeNode* node);

// The names of one list: hashed ignoring ASCII case, equal when the host's
// name comparison says so; it remembers the last node it has taken in.
class TRootTypeUnitSymbolHashTable : public TGenericPointerSet {
public:
  using TCompare = int32_t(QM_REGISTER*)(const char* a, const char* b);
  TRootTypeUnitSymbolHashTable(int32_t capacity, TCompare compare)
      : TGenericPointerSet(capacity), FCompare(compare) {}
  uint32_t GetHash(const void* p) const override;
  bool ItemsEqual(const void* a, const void* b) const override;
  // Takes in the nodes after the last one taken (all of a new set's).
  void CatchUp(const TRootTypeList* list);

private:
  TCompare FCompare;
  const TRootTypeNode* FLastNode = nullptr;
};

// The list the search at C works on (its call's answer), and whether its
// nodes hold `name`: 0 when they do, else 1 (the comparison's sense).
int32_t InRootTypeList(const char* name);
// Sets made and not yet freed (for tests).
int32_t RootTypeSetsLive();

std::vector<TPatchPlan> CompilerCreateRootTypeUnitListOptPlans();
void InstallCompilerCreateRootTypeUnitListOpt();

extern const TUnitInfo Unit_CompilerCreateRootTypeUnitListOpt;

} // namespace Quillmend
