// The pack's code edits switched off and on inside a benchmark process, so
// that the host's routine and its replacement run alternately (the machine
// is shared with other work): the plans are installed once (their module
// state stays published), their edits are kept, taken out with the
// library's undo and put back through a transaction of their own.
#pragma once

#include <cstdio>
#include <vector>

#include "Framework/PatchPlan.h"
#include "Hooking/CodeTransaction.h"

namespace Quillmend::Bench {

class TPackSwitch {
public:
  // Keeps the edits of an installation (a failed one has none).
  void Add(const TPlanVerdict& verdict) { FEdits.insert(FEdits.end(), verdict.Edits.begin(), verdict.Edits.end()); }
  void Enable(bool on) {
    if (on == FOn) return;
    if (on) {
      TCodeTransaction transaction(L"Benchmark");
      for (const TCodeEdit& edit : FEdits) transaction.Stage(edit.Address, edit.NewBytes);
      if (!transaction.Commit()) std::printf("   cannot enable the pack: %ls\n", transaction.Reason().c_str());
    } else {
      UndoAllTransactions();
    }
    FOn = on;
  }

private:
  std::vector<TCodeEdit> FEdits;
  bool FOn = true;
};

}  // namespace Quillmend::Bench
