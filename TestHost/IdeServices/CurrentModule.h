// The module services' current module and what it offers Help Insight.
//   services slot 6   CurrentModule: IOTAModule   EAX=Self, EDX=@Result (nil when none)
// A module may answer {D05FBF46-8468-4934-BF70-7EAE1AB8FEAB} (the host's
// documentation interface) with a documentation object of its own; of that
// object only IUnknown and method 9 (stdcall Self, out Boolean → HRESULT:
// may Help Insight be shown) are offered.
// The slots are offered from the first call of any function below on.
#pragma once

#include <windows.h>

#include "IdeServices/ModuleServices.h"

namespace QmHost {

extern const GUID HelpInsightDocumentationId;

// Offers slot 6 of the module services and the modules' documentation
// interface (once; every function below does it too).
void OfferCurrentModule();

// The module the IDE calls current (a reference is held while it is), or nil.
void SetCurrentModule(Module* module);
Module* CurrentModule();

// What a module answers for the documentation interface: nothing
// (E_NOINTERFACE), or an object whose method 9 returns `result` and, on
// success, `allows`.
struct HelpInsightAnswer {
  bool Supported = false;
  HRESULT Result = S_OK;
  bool Allows = true;
};
void SetModuleHelpInsight(Module* module, const HelpInsightAnswer& answer);

// Calls of method 9 so far; documentation objects alive now.
int HelpInsightQueries();
int HelpInsightObjects();

} // namespace QmHost
