// Units of the library: initialization and finalization procedures run once
// each, in link order at load and in reverse order at unload.
#pragma once

#include <cstddef>
#include <vector>

namespace Quillmend {

class TPatchPlan;

struct TUnitInfo {
  const char* Name;
  void (*Initialize)();  // may be null
  void (*Finalize)();    // may be null
  // The module's patch plans, in installation order, for checking an IDE
  // without installing anything (may be null: a unit without named patches).
  // Building them must not load or run anything.
  std::vector<TPatchPlan> (*Plans)() = nullptr;
};

// The patch modules of one build of Quillmend.dll, in link order. The shipped
// set is Source/Patches/PatchUnits.cpp; test builds link their own table.
extern const TUnitInfo* const PatchUnits[];
extern const size_t PatchUnitCount;

// Runs a table of units. Each unit has its own counter, so its initialization
// and its finalization run at most once however often the table is run.
class TUnitTable {
public:
  explicit TUnitTable(std::vector<const TUnitInfo*> units);

  // Initializes, in order, every unit not initialized yet. When one raises,
  // the units this table initialized are finalized in reverse order first
  // (so no patch is left pointing into a library about to be unloaded), then
  // the exception propagates.
  void InitializeUnits();
  // Undoes every committed code transaction of the process (the patches'
  // writes), then finalizes the initialized units in reverse order. An exception from one
  // finalization does not stop the others; the first is raised at the end.
  void FinalizeUnits();

  size_t Count() const { return Units.size(); }
  bool IsInitialized(size_t index) const { return Counters[index] > 0; }

private:
  std::vector<const TUnitInfo*> Units;
  std::vector<int> Counters;  // 1 while a unit is initialized
  std::vector<bool> Finalized;
};

// The library's own table: engine and containers, IDE-module access, patch
// registry, the patch modules, then the main unit (LibraryUnits.cpp).
TUnitTable& LibraryUnits();

} // namespace Quillmend
