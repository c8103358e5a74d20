// "IDE.Debugger.WatchLocalMemoryLeak": an expression inspector of the Watch
// and Local lists (dbkdebugproide150.bpl) adds itself, as an interface, to
// the debugged process's notifier list, which keeps a reference to it: no
// inspector is ever freed. In the two constructors and SetupDBKInspector
// the adding call is replaced by a call to AddInspectorNotifier, which adds
// a TDebuggerExpressionInspectorProcessNotifier instead: a reference
// counted notifier that holds the inspector without a reference and passes
// the four process notifications on to it. Installed at the expert entry.
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The searched bytes in each of the three routines: the inspector asks its
// evaluator for the notifier list, then calls the list's fourth method with
// the list in EAX and its own notifier interface in EDX (at +23).
constexpr const char* InspectorAddsItselfPattern =
    "8D 55 ?? 8B 43 10 8B 08 FF 51 60 8B 45 ?? 8B D3 85 D2 74 03 83 EA 98 8B 08 FF 51 0C";
constexpr int32_t NotifierAddCallOffset = 23;

// The registration routine the three call sites call (host register
// convention: the list's interface in EAX, the inspector's in EDX): the
// list's fourth method called with a new notifier for the inspector; its
// answer (the index) returned.
int32_t QM_REGISTER AddInspectorNotifier(void* list, void* inspector);

// Notifiers alive (held by a list or anyone else).
int32_t LiveInspectorNotifiers();

std::vector<TPatchPlan> DbgExprInspectorMemoryLeakFixPlans();
void InstallDbgExprInspectorMemoryLeakFix();

extern const TUnitInfo Unit_DbgExprInspectorMemoryLeakFix;

}  // namespace Quillmend
