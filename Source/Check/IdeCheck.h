// Checking an installed IDE without installing anything: every plan of the
// patch modules is dry-run against the IDE's modules opened as images, in
// the order the library would install them (by moment, then link order,
// then each module's own order), each answered from the verdicts before it.
#pragma once

#include <string>
#include <vector>

#include "Check/IdeModules.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

enum class TCheckVerdict {
  Applies,
  Fails,
  NeedsRunningIde,  // a site only the running IDE can answer
  Disabled,         // named in "Quillmend.DisabledPatches"
  Ignored,          // does not apply to this IDE by design
};

// "applies", "fails", "needs the running IDE", "disabled", "ignored".
const wchar_t* VerdictText(TCheckVerdict verdict);

struct TPatchCheck {
  std::wstring Name;
  std::wstring Description;
  TCheckVerdict Verdict = TCheckVerdict::Fails;
  std::wstring Reason;  // why it fails, is ignored or needs the running IDE
};

struct TIdeCheck {
  std::vector<TPatchCheck> Patches;  // registry order (names ignoring case)
  // What went wrong in the check itself (a patch module that could not list
  // its plans, a write into a module); empty normally.
  std::vector<std::wstring> Errors;

  size_t Count(TCheckVerdict verdict) const;
  bool AllCheckableApply() const { return Count(TCheckVerdict::Fails) == 0 && Errors.empty(); }
};

// Runs every plan of `units` against `modules`. Plans are published into
// their modules' state as they pass (later plans may need what earlier ones
// found); no byte of any module is written. With `searchModulesOnce`, every
// module is searched once for all the patterns the plans look for from its
// base, and the plans' searches are answered from that.
TIdeCheck CheckIde(TIdeModules& modules, const std::vector<const TUnitInfo*>& units, bool searchModulesOnce = true);

} // namespace Quillmend
