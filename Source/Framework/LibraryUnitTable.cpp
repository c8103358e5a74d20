// The unit runner behind the library's load and unload.
#include "Framework/LibraryUnitTable.h"

#include <exception>

#include "Hooking/CodeTransaction.h"

namespace Quillmend {

TUnitTable::TUnitTable(std::vector<const TUnitInfo*> units)
    : Units(std::move(units)), Counters(Units.size(), 0), Finalized(Units.size(), false) {}

void TUnitTable::InitializeUnits() {
  for (size_t i = 0; i < Units.size(); ++i) {
    if (Counters[i] != 0 || Finalized[i]) continue;
    Counters[i] = 1;  // counted before the call: a raising initialization is not run again
    try {
      if (Units[i] && Units[i]->Initialize) Units[i]->Initialize();
    } catch (...) {
      // The unit that raised undoes itself as far as it got: its finalization
      // runs too, like those before it, since it may have installed patches.
      std::exception_ptr error = std::current_exception();
      try {
        FinalizeUnits();
      } catch (...) {
        // The initialization error is the one that matters.
      }
      std::rethrow_exception(error);
    }
  }
}

void TUnitTable::FinalizeUnits() {
  // Every byte the patches wrote goes back before any unit frees the state
  // its replacements use.
  UndoAllTransactions();
  std::exception_ptr first;
  for (size_t i = Units.size(); i-- > 0;) {
    if (Counters[i] == 0) continue;
    Counters[i] = 0;
    Finalized[i] = true;
    try {
      if (Units[i] && Units[i]->Finalize) Units[i]->Finalize();
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }
  if (first) std::rethrow_exception(first);
}

} // namespace Quillmend
