// "IDE.HelpInsightViewCmd": the IDE's view-Help-Insight command is enabled
// only where Help Insight can answer (the option on, a current module with
// an editor, no background compile running, the module offering the host's
// documentation interface), and it runs under the hourglass cursor and the
// kibitzing monitor, only when the module's documentation allows it. The
// cursor and the monitor are put back whatever the host's handler does.
#pragma once

#include <cstdint>
#include <vector>

#include "Framework/HostAbi.h"
#include "Framework/LibraryUnitTable.h"
#include "Framework/PatchPlan.h"

namespace Quillmend {

// The replacements of TViewCommands.actnViewHelpInsightUpdate and
// ...Execute (EAX = Self, EDX = Sender, the action).
void QM_REGISTER ViewHelpInsightUpdate(void* self, void* sender);
void QM_REGISTER ViewHelpInsightExecute(void* self, void* sender);

std::vector<TPatchPlan> HelpInsightViewCommandPlans();
void InstallHelpInsightViewCommand();

extern const TUnitInfo Unit_HelpInsightViewCommand;

}  // namespace Quillmend
